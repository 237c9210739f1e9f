// The loopback server: poll-driven reads and writes against one deadline per
// request, so a slow or silent client cannot hold a connection for long.
#include "http_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

namespace crumpletool {

namespace {

typedef std::chrono::steady_clock Clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on `fd` until the deadline; false when it passed.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const int left = MillisecondsLeft(deadline);
        if (left == 0) return false;
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, left);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

// Sends everything or gives up at the deadline.
void SendAll(int fd, const std::string& bytes, Clock::time_point deadline) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (!WaitFor(fd, POLLOUT, deadline)) return;
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

// Reads more into `buffer`; false on end, error or the deadline.
bool ReadSome(int fd, std::string* buffer, Clock::time_point deadline) {
    char chunk[8192];
    for (;;) {
        if (!WaitFor(fd, POLLIN, deadline)) return false;
        const ssize_t n = recv(fd, chunk, sizeof(chunk), MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return false;
        buffer->append(chunk, static_cast<size_t>(n));
        return true;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decoding; false for a broken escape.
bool Decode(const std::string& text, bool plusIsSpace, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+' && plusIsSpace) {
            *out += ' ';
        } else if (text[i] == '%') {
            if (i + 2 >= text.size()) return false;
            const int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
            if (hi < 0 || lo < 0) return false;
            *out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            *out += text[i];
        }
    }
    return true;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The request line and header lines; an empty string when they are sound,
// else why not.
std::string ParseHead(const std::string& head, HttpRequest* request) {
    size_t lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const size_t space1 = line.find(' '), space2 = line.rfind(' ');
    if (space1 == std::string::npos || space2 == space1) return "the request line is not METHOD TARGET VERSION";
    request->method = line.substr(0, space1);
    const std::string target = line.substr(space1 + 1, space2 - space1 - 1);
    const std::string version = line.substr(space2 + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return "unsupported HTTP version";
    if (target.empty() || target[0] != '/') return "the target must be a path starting with /";
    const size_t question = target.find('?');
    if (!Decode(target.substr(0, question), false, &request->path)) return "a broken percent escape in the path";
    if (question != std::string::npos) {
        const std::string query = target.substr(question + 1);
        size_t start = 0;
        while (start <= query.size()) {
            size_t end = query.find('&', start);
            if (end == std::string::npos) end = query.size();
            const std::string pair = query.substr(start, end - start);
            if (!pair.empty()) {
                const size_t equals = pair.find('=');
                std::string name, value;
                if (!Decode(pair.substr(0, equals), true, &name) ||
                    !Decode(equals == std::string::npos ? "" : pair.substr(equals + 1), true, &value))
                    return "a broken percent escape in the query";
                request->query[name] = value;
            }
            start = end + 1;
        }
    }
    while (lineEnd != std::string::npos && lineEnd + 2 < head.size()) {
        const size_t next = head.find("\r\n", lineEnd + 2);
        const std::string header = head.substr(lineEnd + 2, next - lineEnd - 2);
        lineEnd = next;
        if (header.empty()) break;
        const size_t colon = header.find(':');
        if (colon == std::string::npos || colon == 0) return "a header line without a name";
        const std::string name = Lower(header.substr(0, colon));
        if (request->headers.count(name)) return "the header \"" + name + "\" is given twice";
        request->headers[name] = Trim(header.substr(colon + 1));
    }
    return "";
}

void Reply(int fd, const HttpResponse& response, Clock::time_point deadline) {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + StatusText(response.status) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    head += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n";
    for (const auto& header : response.headers) head += header.first + ": " + header.second + "\r\n";
    SendAll(fd, head + "\r\n" + response.body, deadline);
}

}  // namespace

const char* StatusText(int status) {
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 422: return "Unprocessable Content";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

HttpResponse ErrorResponse(int status, const std::string& reason) {
    HttpResponse response;
    response.status = status;
    // A reason may quote what the client sent, which need not be UTF-8.
    response.body = nlohmann::json{{"error", reason}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return response;
}

LoopbackServer::LoopbackServer(int port, HttpLimits limits) : limits_(limits) {
    if (port < 0 || port > 65535) throw std::runtime_error("the port must be 0 to 65535");
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error(std::string("cannot make a socket: ") + std::strerror(errno));
    const int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t length = sizeof(address);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const std::string why = std::strerror(errno);
        close(listener_);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + why);
    }
    port_ = ntohs(address.sin_port);
}

LoopbackServer::~LoopbackServer() { close(listener_); }

void LoopbackServer::Serve(const HttpHandler& handler, const std::atomic<bool>& stop) {
    // Each connection is read on its own thread, so a browser's idle
    // preconnection cannot hold up the page's calls; the handler runs for one
    // request at a time.
    std::mutex handling;
    const HttpHandler serialised = [&](const HttpRequest& request) {
        std::lock_guard<std::mutex> lock(handling);
        return handler(request);
    };
    std::atomic<int> open{0};
    while (!stop.load()) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        if (open.load() >= limits_.maxConnections) {
            close(connection);
            continue;
        }
        ++open;
        std::thread([this, connection, &serialised, &open] {
            Answer(connection, serialised);
            close(connection);
            --open;
        }).detach();
    }
    // Every connection ends within its own deadlines.
    while (open.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void LoopbackServer::TooLate(int fd) {
    // The request's own time is spent; the refusal gets a moment of its own.
    Reply(fd, ErrorResponse(408, "the request took longer than " + std::to_string(limits_.requestMilliseconds) + " ms"),
          Clock::now() + std::chrono::milliseconds(500));
}

int ParseRequest(const std::string& bytes, const HttpLimits& limits, HttpRequest* request, std::string* reason) {
    const size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string::npos ? bytes.size() > limits.maxHeaderBytes : headEnd + 4 > limits.maxHeaderBytes) {
        *reason = "the request head is larger than " + std::to_string(limits.maxHeaderBytes) + " bytes";
        return 431;
    }
    if (headEnd == std::string::npos) return 0;
    *request = HttpRequest();
    *reason = ParseHead(bytes.substr(0, headEnd + 2), request);
    if (!reason->empty()) return 400;
    if (request->headers.count("transfer-encoding")) {
        *reason = "send the body with a Content-Length, not a transfer encoding";
        return 411;
    }
    size_t length = 0;
    auto lengthHeader = request->headers.find("content-length");
    if (lengthHeader != request->headers.end()) {
        const std::string& text = lengthHeader->second;
        if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) {
            *reason = "Content-Length is not a number";
            return 400;
        }
        length = static_cast<size_t>(std::stoull(text));
    }
    if (length > limits.maxBodyBytes) {
        *reason = "the body is larger than " + std::to_string(limits.maxBodyBytes) + " bytes";
        return 413;
    }
    const size_t have = bytes.size() - headEnd - 4;
    if (have < length) return 0;
    if (have > length) {
        *reason = "more bytes than Content-Length says";
        return 400;
    }
    request->body = bytes.substr(headEnd + 4);
    return 200;
}

void LoopbackServer::Answer(int fd, const HttpHandler& handler) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits_.requestMilliseconds);
    std::string buffer, reason;
    HttpRequest request;
    int status;
    while ((status = ParseRequest(buffer, limits_, &request, &reason)) == 0)
        if (!ReadSome(fd, &buffer, deadline)) {
            if (MillisecondsLeft(deadline) == 0) TooLate(fd);
            return;
        }
    if (status != 200) return Reply(fd, ErrorResponse(status, reason), deadline);
    HttpResponse response;
    try {
        response = handler(request);
    } catch (const std::exception& e) {
        response = ErrorResponse(500, e.what());
    }
    // Answering may take a while on a large mesh; the reply gets its own time.
    Reply(fd, response, Clock::now() + std::chrono::milliseconds(limits_.requestMilliseconds));
}

}  // namespace crumpletool

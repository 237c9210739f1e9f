// A small HTTP/1.1 server on the loopback interface only: one request per
// connection, connections read side by side, requests handled one at a time,
// with bounds on what a client may send.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <string>

namespace crumpletool {

struct HttpRequest {
    std::string method;
    std::string path;                            // the target up to '?', percent-decoded
    std::map<std::string, std::string> query;    // decoded; the last of repeated names
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::map<std::string, std::string> headers;  // beyond type, length and connection
};

// What a client may send: larger headers or bodies are refused (431, 413)
// without reading them, a request not in whole within the time is dropped
// with 408, and connections past the bound are closed.
struct HttpLimits {
    size_t maxHeaderBytes = 16 * 1024;
    size_t maxBodyBytes = 256 * 1024;
    int requestMilliseconds = 5000;
    int maxConnections = 16;  // more open at once are closed unanswered
};

typedef std::function<HttpResponse(const HttpRequest&)> HttpHandler;

// What the bytes a client sent so far make: 0 while the request is not yet
// whole, 200 with `request` filled, or the status to refuse it with (400,
// 411, 413, 431) and a one-line `reason`. A body is taken only with a
// Content-Length, and a length past the bound is refused before the body
// arrives.
int ParseRequest(const std::string& bytes, const HttpLimits& limits, HttpRequest* request, std::string* reason);

// The text of a status line's reason.
const char* StatusText(int status);
// A response whose body is {"error": reason}.
HttpResponse ErrorResponse(int status, const std::string& reason);

class LoopbackServer {
public:
    // Listens on 127.0.0.1:`port` (0: a free port the system picks). Throws
    // std::runtime_error when the port cannot be had.
    explicit LoopbackServer(int port, HttpLimits limits = HttpLimits());
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    // Answers requests until `stop` is set (checked at least every 200 ms).
    void Serve(const HttpHandler& handler, const std::atomic<bool>& stop);

private:
    void Answer(int connection, const HttpHandler& handler);
    void TooLate(int connection);

    int listener_ = -1;
    int port_ = 0;
    HttpLimits limits_;
};

}  // namespace crumpletool

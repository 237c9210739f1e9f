// `crumple view` end to end: the program started as a user starts it, driven
// over HTTP: what a session saves replays to the same bytes, and requests
// without the token, for another host, too large or malformed are refused
// without changing the session.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "tool_support.h"

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

struct Reply {
    int status = 0;
    std::string body;
};

// One view process, started in `dir` on `input`, stopped with SIGTERM.
class ViewProcess {
public:
    ViewProcess(const ScratchDir& dir, const std::string& input) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            if (chdir(dir.path.c_str()) != 0) _exit(126);
            execl(CRUMPLE_TOOL_PATH, CRUMPLE_TOOL_PATH, "view", input.c_str(), "--port", "0", "--plugin",
                  CRUMPLE_PLUGIN_PATH, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        pollfd p{out[0], POLLIN, 0};
        while (poll(&p, 1, 60000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        const std::string prefix = "http://127.0.0.1:";
        const size_t slash = line.find("/?token=");
        if (line.rfind(prefix, 0) != 0 || slash == std::string::npos) throw std::runtime_error("first line: " + line);
        port_ = std::stoi(line.substr(prefix.size(), slash - prefix.size()));
        token_ = line.substr(slash + 8);
    }
    ~ViewProcess() {
        if (pid_ > 0 && Stop() != 0) ADD_FAILURE() << "the view did not stop cleanly on SIGTERM";
    }
    // SIGTERM; the exit status.
    int Stop() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int Port() const { return port_; }
    const std::string& Token() const { return token_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

    // Sends `request` as it stands and reads the whole answer.
    Reply Raw(const std::string& request) const {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port_));
        Reply reply;
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            send(fd, request.data(), request.size(), MSG_NOSIGNAL);
            std::string answer;
            char chunk[65536];
            ssize_t n;
            while ((n = recv(fd, chunk, sizeof(chunk), 0)) > 0) answer.append(chunk, static_cast<size_t>(n));
            const size_t bodyAt = answer.find("\r\n\r\n");
            if (answer.rfind("HTTP/1.1 ", 0) == 0 && bodyAt != std::string::npos) {
                reply.status = std::stoi(answer.substr(9, 3));
                reply.body = answer.substr(bodyAt + 4);
            }
        }
        close(fd);
        return reply;
    }
    Reply Call(const std::string& method, const std::string& target, const std::string& body = "") const {
        return Raw(method + " " + target + " HTTP/1.1\r\nHost: " + Host() + "\r\nX-Crumple-Token: " + token_ +
                   "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                   body);
    }
    Json State() const { return Json::parse(Call("GET", "/api/state").body); }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string token_;
};

// A scratch folder holding the example scene and its mesh, as a user's own.
void CopyExample(const ScratchDir& dir) {
    for (const char* name : {"buoy-hits.json", "buoy.ply"})
        fs::copy_file(std::string(CRUMPLE_SOURCE_DIR) + "/examples/" + name, dir / name);
}

}  // namespace

TEST(ToolView, SavedSessionReplaysToTheSameMeshAndRows) {
    ScratchDir dir;
    CopyExample(dir);
    ViewProcess view(dir, "buoy-hits.json");
    ASSERT_EQ(view.State()["rows"].size(), 9u);  // the scene's own steps ran first

    const Reply aimed = view.Call("POST", "/api/hit",
                                  R"j({"aim": {"from": [12, 1, 4], "towards": [4, 0.5, -2]}, "speed": 14,
                                      "settings": {"Apply Holes? (0/1)": 1}})j");
    ASSERT_EQ(aimed.status, 200) << aimed.body;
    const Json row = Json::parse(aimed.body)["row"];
    EXPECT_EQ(row["step"], 10);
    EXPECT_GT(row["energy"].get<double>(), 0.0);
    const std::string glbAfterAim = view.Call("GET", "/api/mesh.glb").body;

    ASSERT_EQ(view.Call("POST", "/api/settings", R"({"settings": {"Dent factor": 0.3}})").status, 200);
    ASSERT_EQ(view.Call("POST", "/api/hit", R"({"position": [5.8813, 0.7941, -1.3883], "normal": [0.9407, 0.147, 0.3059]})")
                  .status, 200);
    EXPECT_NE(view.Call("GET", "/api/mesh.glb").body, glbAfterAim);
    // Undo replays without the last hit: the mesh is what it was before it.
    ASSERT_EQ(view.Call("POST", "/api/undo", "{}").status, 200);
    EXPECT_EQ(view.Call("GET", "/api/mesh.glb").body, glbAfterAim);
    ASSERT_EQ(view.Call("POST", "/api/hit", R"({"position": [3.9674, 0.9983, -0.0633], "normal": [-0.0163, 0.2491, 0.9683]})")
                  .status, 200);
    const Json state = view.State();
    EXPECT_EQ(state["rows"].size(), 11u);
    for (const Json& setting : state["settings"])
        if (setting["name"] == "Dent factor") EXPECT_EQ(setting["value"].get<float>(), 0.3f);

    const Reply scene = view.Call("GET", "/api/scene");
    ASSERT_EQ(scene.status, 200);
    EXPECT_EQ(Json::parse(scene.body)["mesh"], "buoy.ply");  // named as from the folder the view started in
    WriteText(dir / "session.json", scene.body);
    const std::string glb = view.Call("GET", "/api/mesh.glb").body;
    const std::string command = "cd '" + dir.path.string() + "' && '" CRUMPLE_TOOL_PATH "' run session.json --plugin '" +
                                CRUMPLE_PLUGIN_PATH "' > run.txt 2> run-errors.txt";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadText(dir / "run-errors.txt");
    EXPECT_TRUE(ReadText(dir / "out/session.glb") == glb) << "the replayed mesh differs from the session's";
    const std::string run = ReadText(dir / "run.txt");
    EXPECT_EQ(run.substr(0, run.find("\nwrote ") + 1), state["table"].get<std::string>());
}

TEST(ToolView, RefusedRequestsChangeNothing) {
    ScratchDir dir;
    CopyExample(dir);
    ViewProcess view(dir, "buoy.ply");  // a mesh alone: no steps, the demo's settings
    const std::string before = view.Call("GET", "/api/scene").body;
    auto get = [&](const std::string& target, const std::string& headers) {
        return view.Raw("GET " + target + " HTTP/1.1\r\n" + headers + "\r\n").status;
    };
    const std::string host = "Host: " + view.Host() + "\r\n";
    const std::string token = "X-Crumple-Token: " + view.Token() + "\r\n";
    EXPECT_EQ(get("/api/state", host), 403);
    EXPECT_EQ(get("/api/state", host + "X-Crumple-Token: " + std::string(view.Token().size(), '0') + "\r\n"), 403);
    EXPECT_EQ(get("/?token=" + view.Token(), ""), 403);  // no Host
    EXPECT_EQ(get("/api/state", "Host: attacker.example:" + std::to_string(view.Port()) + "\r\n" + token), 403);
    EXPECT_EQ(get("/api/state", "Host: 127.0.0.1:1\r\n" + token), 403);
    EXPECT_EQ(get("/api/state", "Host: localhost:" + std::to_string(view.Port()) + "\r\n" + token), 200);
    EXPECT_EQ(get("/?token=" + view.Token(), host), 200);
    EXPECT_EQ(get("/three/three.module.js?token=" + view.Token(), host), 200);
    EXPECT_EQ(get("/../../etc/passwd?token=" + view.Token(), host), 404);
    EXPECT_EQ(get("/api/buffers?mesh=/etc/passwd", host + token), 400);

    // A body past the bound is refused from its length alone.
    EXPECT_EQ(view.Raw("POST /api/hit HTTP/1.1\r\n" + host + token + "Content-Length: 100000000\r\n\r\n").status, 413);
    for (const char* body : {"{\"position\": [1, 2", "[1, 2, 3]", "{\"position\": [0, 0, 0], \"normal\": [0, 0, 0]}",
                             "{\"aim\": {\"from\": [0, 0, 0]}}", "{\"reset\": true}", "{\"position\": [0, 0, 0], "
                             "\"normal\": [0, 1, 0], \"settings\": {\"Collision position\": 1}}"}) {
        const Reply reply = view.Call("POST", "/api/hit", body);
        EXPECT_EQ(reply.status, 400) << body;
        EXPECT_EQ(reply.body.find('\n'), reply.body.size() - 1) << "one line: " << reply.body;
    }
    EXPECT_EQ(view.Call("POST", "/api/settings", R"({"settings": {"Dent factr": 1}})").status, 400);
    EXPECT_EQ(view.Call("POST", "/api/hit", R"({"aim": {"from": [0, 100, 0], "towards": [0, 200, 0]}})").status, 422);
    EXPECT_EQ(view.Call("POST", "/api/undo", "{}").status, 422);
    EXPECT_EQ(view.Raw("GET /api/state HTTP/1.1\r\n" + host + host + token + "\r\n").status, 400);  // two Hosts
    EXPECT_EQ(view.Call("GET", "/api/scene").body, before);

    // A client that never finishes its request holds up no one else's, and
    // is dropped in the end.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(view.Port()));
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    send(fd, "GET /api/state HTTP/1.1\r\n", 25, MSG_NOSIGNAL);
    EXPECT_EQ(view.Call("GET", "/api/state").status, 200);
    pollfd idle{fd, POLLIN, 0};
    EXPECT_EQ(poll(&idle, 1, 0), 0) << "the idle client was answered before the other";
    char answer[64] = {};
    EXPECT_GT(recv(fd, answer, sizeof(answer) - 1, 0), 0);
    EXPECT_EQ(std::string(answer).substr(0, 12), "HTTP/1.1 408");
    close(fd);
    EXPECT_EQ(view.State()["rows"].size(), 0u);
    EXPECT_EQ(view.Stop(), 0);
}

// What `crumple view` answers: the page and its files, and the JSON API over
// one session. Every request must carry the token and name this server in its
// Host header; nothing a client sends names a file.
#pragma once

#include <string>

#include "http_server.h"
#include "view_session.h"

namespace crumpletool {

// The page's files, read from `webDir` (index.html, view.js, view.css) and
// `threeDir` (three.js's build and controls), each by a fixed name.
struct ViewFiles {
    std::string webDir;
    std::string threeDir;
};

class ViewApi {
public:
    ViewApi(ViewSession& session, ViewFiles files, std::string token, int port);

    HttpResponse Handle(const HttpRequest& request);

    // Why a request may not be answered, or empty: the Host header must name
    // this server (127.0.0.1:PORT or localhost:PORT), which a page of another
    // origin rebound to this address cannot, and the token must match.
    std::string Refusal(const HttpRequest& request) const;

private:
    HttpResponse Api(const HttpRequest& request);
    HttpResponse File(const std::string& name, const std::string& type, bool withToken) const;

    ViewSession& session_;
    ViewFiles files_;
    std::string token_;
    int port_;
};

// A fresh random token: 32 hex digits from the system's random source.
std::string NewToken();

}  // namespace crumpletool

#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace zelvar {

class WebDatabase;
class WebLive;
class WebExport;
class WebLogin;

struct WebServerOptions {
    std::string host = "127.0.0.1";
    int port = 8080;  // 0: any free port
    std::size_t maxClients = 200;
    std::string tlsCert, tlsKey;  // both or neither
    std::string tiles;            // a tile server's URL template for the map, or none
};

// The origin ("https://tiles.example:8443") of a tile server's URL template
// with {z}, {x} and {y}, over HTTP or HTTPS; empty if it is none.
std::string TilesOrigin(const std::string& url);

// The HTTP side: the API's routes over `database` and `live`, at most maxClients
// connections served at once (one more is answered 503 on a thread of its
// own), bounded reads, writes, requests and keep-alive; with `login`, only
// for those logged in.
class WebServer {
public:
    WebServer(const WebServerOptions& options, WebDatabase& database, WebLive& live, WebLogin* login);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // False when the TLS certificate or key could not be read.
    bool valid() const;
    // Binds; the port bound, or -1.
    int bind();
    // Serves until stop().
    bool run();
    void stop();

private:
    void routes(WebDatabase& database, WebLive& live, WebLogin* login);

    WebServerOptions options_;
    std::unique_ptr<httplib::Server> server_;
    std::unique_ptr<WebExport> export_;
};

}  // namespace zelvar

// zelvar-web: a read-only view of the collector's tables over HTTP.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>

#include "Arguments.h"
#include "ToolMain.h"
#include "WebDatabase.h"
#include "WebLive.h"
#include "WebLogin.h"
#include "WebServer.h"
#include "WebUsers.h"

namespace {

constexpr const char* kUsage =
    "usage: zelvar-web --database CONNINFO [--listen HOST:PORT] [--max-clients N]\n"
    "                  [--tls-cert FILE --tls-key FILE] [--users FILE] [--allow-owner]\n"
    "                  [--tiles URL]\n"
    "       zelvar-web --hash-password NAME < PASSWORD\n"
    "\n"
    "Serves the collector's tables read-only as JSON: /api/stations and /api/heard\n"
    "(limit, station, group, id; before_time, before_station, before_source and\n"
    "before_seq for the next page), /api/activity, /api/map and /api/export (a\n"
    "range: from and to). --listen is 127.0.0.1:8080 unless given (port\n"
    "0: any free port); --max-clients 200 connections are served at once, one more\n"
    "is answered 503. The database role should only read the tables: one that\n"
    "owns them is refused unless --allow-owner.\n"
    "\n"
    "With --users every page and API call needs a login; the file (mode 0600)\n"
    "holds a NAME:HASH line per user, as --hash-password prints it for the\n"
    "password read on its standard input.\n"
    "\n"
    "--tiles names a tile server of your own for the map, as a URL template with\n"
    "{z}, {x} and {y}; without, the map is drawn on a plain background.\n";

// The users file's line for NAME and the password on standard input.
int HashPasswordLine(const zelvar::Tool& tool, const std::string& name) {
    if (!zelvar::IsUserName(name)) return tool.fail("--hash-password: a NAME of 1 to 64 letters, digits, '.', '_', '-'");
    std::string password;
    std::getline(std::cin, password);
    if (password.empty() || password.size() > zelvar::kLongestPassword) {
        return tool.fail("--hash-password: a password of 1 to " + std::to_string(zelvar::kLongestPassword) +
                         " bytes on standard input");
    }
    const std::optional<std::string> hash = zelvar::HashPassword(password);
    if (!hash) return tool.fail("not memory enough to hash the password");
    std::cout << name << ':' << *hash << '\n';
    return 0;
}

// How many connections to the database the request threads share.
constexpr std::size_t kDatabaseConnections = 4;

int Run(const zelvar::Tool& tool, const std::vector<std::string>& args) {
    std::optional<std::string> database;
    zelvar::WebServerOptions options;
    std::optional<std::string> usersFile;
    bool allowOwner = false;
    zelvar::Arguments a(args);
    while (a.next()) {
        if (a.isFlag("--help")) return tool.help(kUsage);
        if (a.isFlag("--allow-owner")) {
            allowOwner = true;
            continue;
        }
        if (!a.isOption()) return tool.fail("unexpected argument: " + a.argument());
        const std::string name = a.name();
        const std::optional<std::string> value = a.value();
        if (!value) return tool.fail(name + " needs a value");
        if (name == "--hash-password") {
            return HashPasswordLine(tool, *value);
        } else if (name == "--users") {
            usersFile = *value;
        } else if (name == "--database") {
            database = *value;
        } else if (name == "--listen") {
            const std::size_t colon = value->rfind(':');
            const auto port = colon == std::string::npos ? std::nullopt
                                                         : zelvar::ParseNumber<int>(value->substr(colon + 1));
            if (!port || *port < 0 || *port > 65535 || colon == 0) return tool.fail("--listen: HOST:PORT");
            options.host = value->substr(0, colon);
            options.port = *port;
        } else if (name == "--max-clients") {
            const auto clients = zelvar::ParseNumber<std::size_t>(*value);
            if (!clients || *clients < 1 || *clients > 10000) return tool.fail("--max-clients: 1 to 10000");
            options.maxClients = *clients;
        } else if (name == "--tiles") {
            if (zelvar::TilesOrigin(*value).empty()) {
                return tool.fail("--tiles: a URL such as https://tiles.example/{z}/{x}/{y}.png");
            }
            options.tiles = *value;
        } else if (name == "--tls-cert") {
            options.tlsCert = *value;
        } else if (name == "--tls-key") {
            options.tlsKey = *value;
        } else {
            return tool.fail("unknown option: " + name);
        }
    }
    if (!database) return tool.fail("--database CONNINFO is needed");
    if (options.tlsCert.empty() != options.tlsKey.empty()) return tool.fail("--tls-cert and --tls-key go together");

    std::unique_ptr<zelvar::WebLogin> login;
    if (usersFile) {
        std::string error;
        std::unique_ptr<zelvar::WebUsers> users = zelvar::WebUsers::load(*usersFile, error);
        if (!users) return tool.fail(error);
        login = std::make_unique<zelvar::WebLogin>(std::move(users), !options.tlsCert.empty());
    }

    // Stopped by SIGINT or SIGTERM, waited for on a thread of its own: every
    // thread made from here on keeps them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::unique_ptr<zelvar::WebDatabase> db;
    try {
        db = std::make_unique<zelvar::WebDatabase>(*database, kDatabaseConnections, allowOwner);
    } catch (const zelvar::DatabaseError& e) {
        return tool.fail(e.what());
    }
    zelvar::WebLive live(*db);
    zelvar::WebServer server(options, *db, live, login.get());
    if (!server.valid()) return tool.fail("cannot read the TLS certificate or key (PEM files)");
    const int port = server.bind();
    if (port < 0) return tool.fail("cannot listen on " + options.host + ":" + std::to_string(options.port));
    if (options.tlsCert.empty() && options.host != "127.0.0.1" && options.host != "::1" && options.host != "localhost") {
        std::cerr << "zelvar-web: warning: plain HTTP on " << options.host << ", not only this host: use --tls-cert\n";
    }
    std::cerr << "zelvar-web: listening on " << options.host << ":" << port << std::endl;

    std::thread waiter([&server, &live, &signals] {
        int signal = 0;
        sigwait(&signals, &signal);
        live.stop();
        server.stop();
    });
    const bool served = server.run();
    if (waiter.joinable()) {
        pthread_kill(waiter.native_handle(), SIGTERM);
        waiter.join();
    }
    return served ? 0 : tool.fail("the server stopped");
}

}  // namespace

int main(int argc, char** argv) { return zelvar::RunTool("zelvar-web", argc, argv, Run); }

#include "WebServer.h"

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "WebActivity.h"
#include "WebDatabase.h"
#include "WebExport.h"
#include "WebLive.h"
#include "WebLogin.h"
#include "WebPage.h"
#include "WebQueries.h"
#include "WebReply.h"
#include "WebRequest.h"

namespace zelvar {

namespace {

// Set on the thread that only answers connections beyond the limit.
thread_local bool tOverflow = false;

// httplib's task queue, sized: `size` threads serve the connections; one
// beyond them that are all taken goes to a thread of its own whose every
// answer is 503, so the client hears why rather than waiting.
class BoundedQueue : public httplib::TaskQueue {
public:
    explicit BoundedQueue(std::size_t size) : size_(size) {
        for (std::size_t i = 0; i < size; ++i) threads_.emplace_back([this] { work(false); });
        threads_.emplace_back([this] { work(true); });
    }
    ~BoundedQueue() override { shutdown(); }
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    void enqueue(std::function<void()> fn) override {
        {
            const std::lock_guard lock(mutex_);
            if (taken_ < size_) {
                ++taken_;
                jobs_.push_back(std::move(fn));
            } else {
                overflow_.push_back(std::move(fn));
            }
        }
        ready_.notify_all();
    }
    void shutdown() override {
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) return;
            stopping_ = true;
        }
        ready_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

private:
    void work(bool overflow) {
        tOverflow = overflow;
        std::deque<std::function<void()>>& jobs = overflow ? overflow_ : jobs_;
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [&] { return stopping_ || !jobs.empty(); });
                if (jobs.empty()) return;
                fn = std::move(jobs.front());
                jobs.pop_front();
            }
            fn();
            if (!overflow) {
                const std::lock_guard lock(mutex_);
                --taken_;
            }
        }
    }

    std::size_t size_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_, overflow_;
    std::size_t taken_ = 0;  // connections queued or being served
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// httplib's paths are patterns: a dot of a file name matches itself only.
std::string Pattern(std::string_view path) {
    std::string pattern;
    for (const char c : path) pattern.append(c == '.' ? "\\." : std::string(1, c));
    return pattern;
}

// A JSON string of a text that holds no quote, backslash or control
// character (a checked tiles URL); null for none.
std::string Quoted(const std::string& text) { return text.empty() ? "null" : "\"" + text + "\""; }

}  // namespace

std::string TilesOrigin(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos || (url.compare(0, scheme, "http") != 0 && url.compare(0, scheme, "https") != 0)) {
        return {};
    }
    const std::size_t path = url.find('/', scheme + 3);
    if (path == std::string::npos || path == scheme + 3) return {};
    for (const char* part : {"{z}", "{x}", "{y}"}) {
        if (url.find(part, path) == std::string::npos) return {};
    }
    // The template goes into the page's settings as a JSON string, its
    // origin into the policy: neither may hold what would end either, and
    // the origin is a host and a port alone (no wildcard, no user).
    for (std::size_t i = scheme + 3; i < url.size(); ++i) {
        const char c = url[i];
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           std::string_view(i < path ? "-.:[]" : "-._~:/?#[]@!$&()*+=%{}").find(c) !=
                               std::string_view::npos;
        if (!plain) return {};
    }
    return url.substr(0, path);
}

WebServer::WebServer(const WebServerOptions& options, WebDatabase& database, WebLive& live, WebLogin* login)
    : options_(options) {
    if (!options.tlsCert.empty()) {
        server_ = std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str());
    } else {
        server_ = std::make_unique<httplib::Server>();
    }
    export_ = std::make_unique<WebExport>(database, login);
    const std::size_t clients = options.maxClients;
    server_->new_task_queue = [clients] { return new BoundedQueue(clients); };
    server_->set_read_timeout(5, 0);
    server_->set_write_timeout(5, 0);
    server_->set_keep_alive_timeout(5);
    server_->set_keep_alive_max_count(100);
    server_->set_payload_max_length(4096);
    routes(database, live, login);
}

WebServer::~WebServer() = default;

void WebServer::routes(WebDatabase& database, WebLive& live, WebLogin* login) {
    server_->set_pre_routing_handler([login](const httplib::Request& req, httplib::Response& res) {
        if (tOverflow) {
            res.set_header("Connection", "close");
            res.set_header("Retry-After", "5");
            Refuse(res, 503, "too many clients");
        } else if (!IsPlainQuery(req.target)) {
            Refuse(res, 400, "a query of NAME=VALUE pairs joined by &, each with one =");
        } else if (!login || login->admit(req, res)) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        return httplib::Server::HandlerResponse::Handled;
    });
    server_->set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        if (!res.has_header("Content-Security-Policy")) {
            res.set_header("Content-Security-Policy", "default-src 'none'; frame-ancestors 'none'");
        }
        if (!res.has_header("Cache-Control")) res.set_header("Cache-Control", "no-store");
    });
    const std::string policy = PagePolicy(TilesOrigin(options_.tiles));
    for (const PageFile& file : PageFiles()) {
        server_->Get(Pattern(file.path), [&file, policy](const httplib::Request& req, httplib::Response& res) {
            if (!req.params.empty()) return Refuse(res, 400, "unknown parameter");
            res.set_header("Content-Security-Policy", policy);
            res.set_content(file.body.data(), file.body.size(), std::string(file.type));
        });
    }
    // Read as installed at every request, so that an upgrade of the package
    // shows without a restart; the browser keeps them for an hour.
    for (const LibraryFile& file : LibraryFiles()) {
        server_->Get(Pattern(file.path), [&file](const httplib::Request& req, httplib::Response& res) {
            if (!req.params.empty()) return Refuse(res, 400, "unknown parameter");
            std::ifstream in{std::string(file.file), std::ios::binary};
            std::ostringstream body;
            body << in.rdbuf();
            if (!in) return Refuse(res, 404, "a JavaScript library of the system is missing: install its package");
            res.set_header("Cache-Control", "max-age=3600");
            res.set_content(body.str(), std::string(file.type));
        });
    }
    if (login) login->routes(*server_);
    server_->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const InvalidValue& e) {
            Refuse(res, 400, e.what());
        } catch (const DatabaseError&) {
            Refuse(res, 503, "the database cannot answer now");
        } catch (...) {
            Refuse(res, 500, "internal error");
        }
    });
    server_->Get("/api/stations", [&database](const httplib::Request& req, httplib::Response& res) {
        if (!req.params.empty()) return Refuse(res, 400, "unknown parameter");
        Json(res, 200, database.stations());
    });
    server_->Get("/api/heard", [&database](const httplib::Request& req, httplib::Response& res) {
        const auto query = ParseHeardQuery(req.params);
        if (const auto* bad = std::get_if<BadRequest>(&query)) return Refuse(res, 400, bad->message);
        Json(res, 200, database.heard(std::get<HeardQuery>(query)));
    });
    const std::string settings = "{\"tiles\":" + Quoted(options_.tiles) +
                                 ",\"bands\":" + SignalBandsJson() + "}";
    server_->Get("/api/settings", [settings](const httplib::Request& req, httplib::Response& res) {
        if (!req.params.empty()) return Refuse(res, 400, "unknown parameter");
        Json(res, 200, settings);
    });
    server_->Get("/api/activity", [&database](const httplib::Request& req, httplib::Response& res) {
        const auto query = ParseActivityQuery(req.params);
        if (const auto* bad = std::get_if<BadRequest>(&query)) return Refuse(res, 400, bad->message);
        Json(res, 200, Activity(database, std::get<ActivityQuery>(query)));
    });
    server_->Get("/api/busiest", [&database](const httplib::Request& req, httplib::Response& res) {
        const auto query = ParseBusiestQuery(req.params);
        if (const auto* bad = std::get_if<BadRequest>(&query)) return Refuse(res, 400, bad->message);
        Json(res, 200, Busiest(database, std::get<BusiestQuery>(query)));
    });
    server_->Get("/api/map", [&database](const httplib::Request& req, httplib::Response& res) {
        const auto query = ParseMapQuery(req.params);
        if (const auto* bad = std::get_if<BadRequest>(&query)) return Refuse(res, 400, bad->message);
        Json(res, 200, MapPoints(database, std::get<MapQuery>(query)));
    });
    export_->routes(*server_);
    // The calls as they are stored, as Server-Sent Events; a comment every
    // 15 seconds finds a client that went away. The stream holds its thread.
    server_->Get("/api/live", [&live](const httplib::Request& req, httplib::Response& res) {
        if (!req.params.empty()) return Refuse(res, 400, "unknown parameter");
        auto position = std::make_shared<std::uint64_t>(live.next());
        res.set_chunked_content_provider("text/event-stream", [&live, position](std::size_t, httplib::DataSink& sink) {
            const std::optional<std::string> event = live.event(*position, 15'000);
            if (live.stopping()) return false;
            const std::string text = event.value_or(": waiting\n\n");
            return sink.write(text.data(), text.size());
        });
    });
}

bool WebServer::valid() const { return server_->is_valid(); }

int WebServer::bind() {
    if (options_.port == 0) return server_->bind_to_any_port(options_.host);
    return server_->bind_to_port(options_.host, options_.port) ? options_.port : -1;
}

bool WebServer::run() { return server_->listen_after_bind(); }

void WebServer::stop() { server_->stop(); }

}  // namespace zelvar

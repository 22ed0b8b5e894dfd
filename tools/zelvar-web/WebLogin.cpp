#include "WebLogin.h"

#include <httplib.h>
#include <sodium.h>

#include <algorithm>
#include <array>

#include "WebUsers.h"

namespace zelvar {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kSessionCookie = "zelvar_session";
constexpr const char* kLoginCookie = "zelvar_login";
constexpr auto kSessionLife = std::chrono::hours(12);
constexpr std::size_t kMostSessions = 10000;
// Failed logins an address has before it must wait, how long it waits
// then (doubled with each failure after), and when it is forgiven.
constexpr int kFreeFailures = 5;
constexpr auto kFirstWait = std::chrono::seconds(60);
constexpr auto kLongestWait = std::chrono::minutes(30);
constexpr auto kForgiven = std::chrono::hours(1);
constexpr std::size_t kMostAddresses = 10000;

// The login page's policy: its style sheet, and the form sent here only.
constexpr const char* kLoginPolicy =
    "default-src 'none'; style-src 'self'; base-uri 'none'; form-action 'self'; frame-ancestors "
    "'none'";

std::string RandomToken() {
    std::array<unsigned char, 32> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    std::array<char, bytes.size() * 2 + 1> hex{};
    sodium_bin2hex(hex.data(), hex.size(), bytes.data(), bytes.size());
    return hex.data();
}

bool SameToken(const std::string& a, const std::string& b) {
    return !a.empty() && a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

// A cookie's value from the request's Cookie header, "" when it has none.
std::string CookieValue(const httplib::Request& req, std::string_view name) {
    const std::string header = req.get_header_value("Cookie");
    std::string_view rest = header;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(';'), rest.size());
        std::string_view pair = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        while (pair.starts_with(' ')) pair.remove_prefix(1);
        if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=') {
            return std::string(pair.substr(name.size() + 1));
        }
    }
    return {};
}

// A form field given exactly once, or "".
std::string Field(const httplib::Request& req, const char* name) {
    return req.get_param_value_count(name) == 1 ? req.get_param_value(name) : std::string();
}

void SeeOther(httplib::Response& res, const char* location) {
    res.status = 303;
    res.set_header("Location", location);
}

}  // namespace

WebLogin::WebLogin(std::unique_ptr<WebUsers> users, bool secure)
    : users_(std::move(users)), secure_(secure) {}

WebLogin::~WebLogin() = default;

std::string WebLogin::cookie(const std::string& name, const std::string& value,
                             const char* path) const {
    return name + "=" + value + "; Path=" + path + "; HttpOnly; SameSite=Strict" +
           (secure_ ? "; Secure" : "") + (value.empty() ? "; Max-Age=0" : "");
}

void WebLogin::routes(httplib::Server& server) {
    server.Get("/login", [this](const httplib::Request& req, httplib::Response& res) {
        if (!req.params.empty()) {
            res.status = 400;
            return;
        }
        loginForm(res, 200, "");
    });
    server.Post("/login",
                [this](const httplib::Request& req, httplib::Response& res) { login(req, res); });
    server.Post("/logout",
                [this](const httplib::Request& req, httplib::Response& res) { logout(req, res); });
    server.Get("/api/session", [this](const httplib::Request& req, httplib::Response& res) {
        // admit() let the request through: it has a session, whose names are plain.
        const std::optional<Session> current = session(req);
        if (!current) return;
        res.set_content("{\"user\":\"" + current->user + "\",\"csrf\":\"" + current->csrf + "\"}",
                        "application/json; charset=utf-8");
    });
}

bool WebLogin::admit(const httplib::Request& req, httplib::Response& res) {
    if (req.path == "/login" || req.path == "/app.css" || session(req)) return true;
    if (req.path.starts_with("/api/")) {
        res.status = 401;
        res.set_content("{\"error\":\"log in first\"}", "application/json; charset=utf-8");
    } else {
        SeeOther(res, "/login");
    }
    return false;
}

std::optional<WebLogin::Session> WebLogin::session(const httplib::Request& req) {
    const std::string token = CookieValue(req, kSessionCookie);
    const std::lock_guard lock(mutex_);
    const auto found = sessions_.find(token);
    if (found == sessions_.end()) return std::nullopt;
    if (found->second.expires < Clock::now()) {
        sessions_.erase(found);
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::string> WebLogin::user(const httplib::Request& req) {
    std::optional<Session> found = session(req);
    if (!found) return std::nullopt;
    return std::move(found->user);
}

// The form carries a token that must come back with it beside the same
// token in a cookie: another site can send the form, but neither read nor
// set the cookie.
void WebLogin::loginForm(httplib::Response& res, int status, const char* message) const {
    const std::string token = RandomToken();
    res.status = status;
    res.set_header("Set-Cookie", cookie(kLoginCookie, token, "/login"));
    res.set_header("Content-Security-Policy", kLoginPolicy);
    res.set_content(
        std::string(
            "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>Zelvar network: log in</title>\n<link rel=\"stylesheet\" href=\"/app.css\">\n"
            "</head>\n<body>\n<h1>Zelvar network</h1>\n<p id=\"message\">") +
            message +
            "</p>\n<form method=\"post\" action=\"/login\">\n"
            "<input type=\"hidden\" name=\"csrf\" value=\"" +
            token +
            "\">\n"
            "<label>Name <input name=\"name\" autocomplete=\"username\" maxlength=\"64\" "
            "required></label>\n"
            "<label>Password <input name=\"password\" type=\"password\" "
            "autocomplete=\"current-password\" "
            "required></label>\n<button type=\"submit\">Log "
            "in</button>\n</form>\n</body>\n</html>\n",
        "text/html; charset=utf-8");
}

void WebLogin::login(const httplib::Request& req, httplib::Response& res) {
    if (!SameToken(Field(req, "csrf"), CookieValue(req, kLoginCookie))) {
        return loginForm(res, 403,
                         "The form was too old or not sent from this page: please log in again.");
    }
    const std::string name = Field(req, "name");
    const std::string password = Field(req, "password");
    {
        const std::lock_guard checking(checking_);
        if (const long long wait = throttled(req.remote_addr); wait > 0) {
            res.set_header("Retry-After", std::to_string(wait));
            return loginForm(res, 429,
                             "Too many failed logins from this address: try again later.");
        }
        if (!IsUserName(name) || password.size() > kLongestPassword ||
            !users_->check(name, password)) {
            failed(req.remote_addr);
            return loginForm(res, 401, "Wrong name or password.");
        }
    }
    const std::string token = RandomToken();
    {
        const std::lock_guard lock(mutex_);
        failures_.erase(req.remote_addr);
        const Clock::time_point now = Clock::now();
        std::erase_if(sessions_, [now](const auto& entry) { return entry.second.expires < now; });
        if (sessions_.size() >= kMostSessions) sessions_.erase(sessions_.begin());
        sessions_[token] = Session{name, RandomToken(), now + kSessionLife};
    }
    res.set_header("Set-Cookie", cookie(kSessionCookie, token, "/"));
    res.set_header("Set-Cookie", cookie(kLoginCookie, "", "/login"));
    SeeOther(res, "/");
}

void WebLogin::logout(const httplib::Request& req, httplib::Response& res) {
    const std::optional<Session> current = session(req);
    if (!current || !SameToken(Field(req, "csrf"), current->csrf)) {
        res.status = 403;
        res.set_content("{\"error\":\"the logout form's token is missing or wrong\"}",
                        "application/json; charset=utf-8");
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        sessions_.erase(CookieValue(req, kSessionCookie));
    }
    res.set_header("Set-Cookie", cookie(kSessionCookie, "", "/"));
    SeeOther(res, "/login");
}

long long WebLogin::throttled(const std::string& address) {
    const std::lock_guard lock(mutex_);
    const auto found = failures_.find(address);
    if (found == failures_.end()) return 0;
    const auto left = found->second.until - Clock::now();
    return left.count() > 0 ? std::chrono::ceil<std::chrono::seconds>(left).count() : 0;
}

void WebLogin::failed(const std::string& address) {
    const std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    if (failures_.size() >= kMostAddresses) {
        std::erase_if(failures_,
                      [now](const auto& entry) { return entry.second.last + kForgiven < now; });
        if (failures_.size() >= kMostAddresses) failures_.erase(failures_.begin());
    }
    Failures& failures = failures_[address];
    if (failures.last + kForgiven < now) failures.count = 0;
    failures.last = now;
    if (++failures.count >= kFreeFailures) {
        const int doublings = std::min(failures.count - kFreeFailures, 5);
        failures.until =
            now + std::min<Clock::duration>(kFirstWait * (1 << doublings), kLongestWait);
    }
}

}  // namespace zelvar

#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace zelvar {

class WebUsers;

// Logins through a form, for every page and API call: sessions held in
// memory behind an HttpOnly, SameSite=Strict cookie (Secure over TLS), a
// CSRF token on logging in and out, failed logins throttled per address.
class WebLogin {
public:
    WebLogin(std::unique_ptr<WebUsers> users, bool secure);
    ~WebLogin();
    WebLogin(const WebLogin&) = delete;
    WebLogin& operator=(const WebLogin&) = delete;

    // Adds /login, /logout and /api/session to `server`.
    void routes(httplib::Server& server);
    // True when the request may go on; otherwise `res` holds the refusal: a
    // page is sent to the login form, an API call answered 401.
    bool admit(const httplib::Request& req, httplib::Response& res);
    // Who is logged in with the request, if anyone.
    std::optional<std::string> user(const httplib::Request& req);

private:
    struct Session {
        std::string user;
        std::string csrf;  // the logout form's token
        std::chrono::steady_clock::time_point expires;
    };
    struct Failures {
        int count = 0;
        std::chrono::steady_clock::time_point last, until;
    };

    std::optional<Session> session(const httplib::Request& req);
    void loginForm(httplib::Response& res, int status, const char* message) const;
    void login(const httplib::Request& req, httplib::Response& res);
    void logout(const httplib::Request& req, httplib::Response& res);
    // How long the address must still wait before it may try again, in seconds; 0: it may.
    long long throttled(const std::string& address);
    void failed(const std::string& address);
    std::string cookie(const std::string& name, const std::string& value, const char* path) const;

    std::unique_ptr<WebUsers> users_;
    bool secure_;
    // One login is checked at a time: each check takes 64 MiB, and an
    // address's failures are counted before its next attempt is looked at.
    std::mutex checking_;
    std::mutex mutex_;  // the sessions and failures
    std::map<std::string, Session> sessions_;
    std::map<std::string, Failures> failures_;
};

}  // namespace zelvar

#pragma once

#include <httplib.h>

#include <string>

namespace zelvar {

inline void Json(httplib::Response& res, int status, const std::string& body) {
    res.status = status;
    res.set_content(body, "application/json; charset=utf-8");
}

// Our own texts only: nothing the client sent is echoed.
inline void Refuse(httplib::Response& res, int status, const std::string& message) {
    Json(res, status, "{\"error\":\"" + message + "\"}");
}

}  // namespace zelvar

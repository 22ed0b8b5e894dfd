#pragma once

#include <stdexcept>
#include <string>

namespace zelvar {

// The serial port's failure: one fixed text from the port's table, shown to
// the user as it is. `hint` may carry one more line for the message box (for
// example what the user can do about a refused open); it is never part of
// the text itself.
class EComPort : public std::runtime_error {
public:
    explicit EComPort(const std::string& text, std::string hint = {})
        : std::runtime_error(text), hint_(std::move(hint)) {}

    const std::string& hint() const { return hint_; }

private:
    std::string hint_;
};

// The port's texts, exactly as the user sees them.
namespace ComText {
inline constexpr const char* NoSuchPort = "Попытка открыть несуществующий COM-порт";
inline constexpr const char* PortBusy = "Порт занят другой программой";
inline constexpr const char* SetupComm = "Ошибка функции SetupComm";
inline constexpr const char* SetCommState = "Ошибка функции SetCommState";
inline constexpr const char* SetCommTimeouts = "Ошибка функции SetCommTimeouts";
inline constexpr const char* ClearCommError = "Ошибка функции ClearCommError";
inline constexpr const char* GetCommModemStatus = "Ошибка функции GetCommModemStatus";
inline constexpr const char* EscapeCommFunction = "Ошибка функции EscapeCommFunction";
inline constexpr const char* PurgeComm = "Ошибка функции PurgeComm";
inline constexpr const char* ReadFailed = "Ошибка чтения из порта";
inline constexpr const char* PropertyWhileOpen = "Нельзя менять свойство, пока порт открыт";
inline constexpr const char* PortTable = "Ошибка обращения к системному реестру";
}  // namespace ComText

}  // namespace zelvar

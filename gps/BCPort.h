#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "EComPort.h"
#include "MainThreadPost.h"

namespace zelvar {

enum class TBaudRate {
    br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
    br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum class TByteSize { bs5, bs6, bs7, bs8 };
enum class TParity { paNone, paOdd, paEven, paMark, paSpace };
enum class TStopBits { sb1, sb1_5, sb2 };
enum class TSyncMethod { smThreadSync, smWindowSync, smNone };
enum class TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };

// A set of TComError.
struct TComErrors {
    std::uint8_t bits = 0;
    bool contains(TComError e) const { return (bits & (1U << static_cast<unsigned>(e))) != 0; }
    void include(TComError e) { bits = static_cast<std::uint8_t>(bits | (1U << static_cast<unsigned>(e))); }
    bool empty() const { return bits == 0; }
};

// Milliseconds; a negative value means no limit. Reads on Linux always return
// at once with what has arrived, which is what the default values ask for.
struct TComTimeouts {
    std::int32_t ReadInterval = -1;
    std::int32_t ReadTotalMultiplier = 0;
    std::int32_t ReadTotalConstant = 0;
    std::int32_t WriteTotalMultiplier = 100;
    std::int32_t WriteTotalConstant = 1000;

    bool operator==(const TComTimeouts&) const = default;
};

// A serial port on a Linux terminal device: opened in raw mode with the line
// settings below, exclusively (TIOCEXCL and an flock, since TIOCEXCL alone
// does not keep root out). While open, an event thread moves arriving bytes
// into a receive queue of InBufSize bytes and announces them as OnRxChar,
// handed to the owner by SyncMethod; ReadString takes them from there.
//
// Events raised on Linux: OnRxChar, OnRx80Full, and OnDeviceLost when the
// device goes away while open (a receiver pulled out). The thread then stops
// waiting; the port stays Connected until the owner calls Close. The error,
// modem-line, ring and transmit events have no source here and never fire.
//
// Everything but the event thread belongs to the thread that created the
// port: call Open, Close, ReadString and the setters there. With
// smThreadSync and smWindowSync the handlers run there too, from its event
// loop; with smNone they run on the event thread.
class TBComPort {
public:
    using TRxCharEvent = std::function<void(TBComPort& Sender, int Count)>;
    using TComErrorEvent = std::function<void(TBComPort& Sender, TComErrors Errors)>;
    using TComSignalEvent = std::function<void(TBComPort& Sender, bool State)>;
    using TNotifyEvent = std::function<void(TBComPort& Sender)>;
    using TFailureEvent = std::function<void(TBComPort& Sender, const std::string& Text)>;

    // `post` reaches the owner's thread; by default the calling thread's
    // event loop.
    explicit TBComPort(std::unique_ptr<MainThreadPost> post = nullptr);
    ~TBComPort();
    TBComPort(const TBComPort&) = delete;
    TBComPort& operator=(const TBComPort&) = delete;

    void Open();
    void Close();
    // Up to Count bytes that have arrived, in arrival order, at once.
    std::string ReadString(int Count);
    bool Connected() const { return connected_; }

    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    TByteSize ByteSize() const { return byteSize_; }
    void SetByteSize(TByteSize value);
    TParity Parity() const { return parity_; }
    void SetParity(TParity value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    int InBufSize() const { return inBufSize_; }
    void SetInBufSize(int value);
    int OutBufSize() const { return outBufSize_; }
    void SetOutBufSize(int value);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);
    const TComTimeouts& Timeouts() const { return timeouts_; }
    void SetTimeouts(const TComTimeouts& value);

    TRxCharEvent OnRxChar;
    TComErrorEvent OnError;
    TComSignalEvent OnCTSChange, OnDSRChange, OnRLSDChange;
    TNotifyEvent OnRing, OnRx80Full, OnTxEmpty;
    // The device went away while open; told once per Open.
    TNotifyEvent OnDeviceLost;
    // A handler or a read inside a hand-off failed; no user command is there
    // to show it. Without a handler the failure is dropped.
    TFailureEvent OnEventFailure;

private:
    struct HandOff;
    enum Event : unsigned { RxChar = 1, Rx80Full = 2, DeviceLost = 4 };

    void applyQueueSizes();
    void applyLineSettings();
    // A line setting changed, and applied at once while the port is open.
    template <typename T>
    void changeLineSetting(T& setting, T value) {
        if (value == setting) return;
        setting = value;
        if (connected_) applyLineSettings();
    }
    void applyTimeouts();
    void stopThread();
    void closeDevice();
    void run(std::shared_ptr<HandOff> handOff);
    unsigned fillQueue(bool& lost);
    void handOff(unsigned events, const std::shared_ptr<HandOff>& state);
    void dispatch(unsigned events, const std::shared_ptr<HandOff>& state);
    void dispatchOne(Event event);
    void reportFailure(const char* text, const std::shared_ptr<HandOff>& state);

    TBaudRate baudRate_ = TBaudRate::br9600;
    TByteSize byteSize_ = TByteSize::bs8;
    TParity parity_ = TParity::paNone;
    TStopBits stopBits_ = TStopBits::sb1;
    std::string port_ = "COM2";
    int inBufSize_ = 2048;
    int outBufSize_ = 2048;
    TSyncMethod syncMethod_ = TSyncMethod::smThreadSync;
    TComTimeouts timeouts_;

    std::unique_ptr<MainThreadPost> post_;
    bool connected_ = false;
    int fd_ = -1;
    int wakeFd_ = -1;  // eventfd: Close's stop, or room again in the queue
    std::atomic<bool> deviceLost_{false};
    std::thread thread_;
    std::shared_ptr<HandOff> handOff_;

    std::mutex queueMutex_;
    std::string queue_;
    std::size_t capacity_ = 2048;
};

}  // namespace zelvar

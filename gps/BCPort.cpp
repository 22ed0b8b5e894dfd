#include "BCPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

#include "SerialPortList.h"

namespace zelvar {

// What the event thread and the jobs it posted share. Stopped is set once,
// by Close; a job that runs after it (or a hand-off that would start) does
// nothing, so Close never waits on a job the window thread cannot run while
// it is inside Close.
struct TBComPort::HandOff {
    std::mutex mutex;
    std::condition_variable changed;
    bool stopped = false;
    std::uint64_t posted = 0;
    std::uint64_t done = 0;

    bool isStopped() {
        const std::lock_guard lock(mutex);
        return stopped;
    }
};

namespace {

// Pseudo-terminals and some adapters have no modem lines; that is no failure.
bool noModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

// The device has gone (a USB receiver pulled out).
bool deviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

bool speedOf(TBaudRate rate, speed_t& speed) {
    switch (rate) {
    case TBaudRate::br110: speed = B110; return true;
    case TBaudRate::br300: speed = B300; return true;
    case TBaudRate::br600: speed = B600; return true;
    case TBaudRate::br1200: speed = B1200; return true;
    case TBaudRate::br2400: speed = B2400; return true;
    case TBaudRate::br4800: speed = B4800; return true;
    case TBaudRate::br9600: speed = B9600; return true;
    case TBaudRate::br19200: speed = B19200; return true;
    case TBaudRate::br38400: speed = B38400; return true;
    case TBaudRate::br57600: speed = B57600; return true;
    case TBaudRate::br115200: speed = B115200; return true;
    // Rates the terminal interface has no constant for.
    case TBaudRate::br14400:
    case TBaudRate::br56000:
    case TBaudRate::br128000:
    case TBaudRate::br256000: return false;
    }
    return false;
}

int evenSize(int value) {
    return value % 2 != 0 ? value - 1 : value;
}

void wake(int fd) {
    const std::uint64_t one = 1;
    // A full eventfd counter already wakes the thread.
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

}  // namespace

TBComPort::TBComPort(std::unique_ptr<MainThreadPost> post)
    : post_(post ? std::move(post) : MakeMainThreadPost()) {}

TBComPort::~TBComPort() {
    try {
        Close();
    } catch (const EComPort&) {
        // The device is closed all the same; nobody is left to tell.
    }
}

void TBComPort::Open() {
    if (connected_) return;
    const std::string path = SerialDevicePath(port_);
    // No controlling terminal, and no wait for a modem's carrier on open.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENODEV || error == ENXIO || error == ENOTDIR) {
            throw EComPort(ComText::NoSuchPort);
        }
        if (error == EACCES || error == EPERM) {
            throw EComPort(ComText::PortBusy,
                           "You may need to be a member of the \"dialout\" group to use serial ports.");
        }
        if (error == EBUSY) throw EComPort(ComText::PortBusy);
        // Nothing more specific to say: configuring the port is what fails.
        throw EComPort(ComText::SetupComm);
    }
    // TIOCEXCL keeps other users out but not root; the lock keeps out every
    // program that asks for it, this one included.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        throw EComPort(ComText::PortBusy);
    }
    ::ioctl(fd, TIOCEXCL);

    fd_ = fd;
    connected_ = true;
    deviceLost_ = false;
    try {
        applyQueueSizes();
        applyLineSettings();
        applyTimeouts();
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd_ < 0) throw EComPort(ComText::SetupComm);
        handOff_ = std::make_shared<HandOff>();
        thread_ = std::thread(&TBComPort::run, this, handOff_);
    } catch (...) {
        closeDevice();
        throw;
    }
}

void TBComPort::Close() {
    if (!connected_) return;
    const char* failure = nullptr;
    if (!deviceLost_) {
        int lines = TIOCM_DTR | TIOCM_RTS;
        if (::ioctl(fd_, TIOCMBIC, &lines) != 0 && !noModemLines(errno) && !deviceGone(errno)) {
            failure = ComText::EscapeCommFunction;
        }
        if (::tcflush(fd_, TCIOFLUSH) != 0 && !deviceGone(errno) && failure == nullptr) {
            failure = ComText::PurgeComm;
        }
    }
    stopThread();
    closeDevice();
    if (failure != nullptr) throw EComPort(failure);
}

void TBComPort::stopThread() {
    if (handOff_) {
        {
            const std::lock_guard lock(handOff_->mutex);
            handOff_->stopped = true;
        }
        handOff_->changed.notify_all();
    }
    if (wakeFd_ >= 0) wake(wakeFd_);
    if (thread_.joinable()) {
        // A handler on the event thread itself (smNone) may close the port;
        // the thread sees the stop right after the handler and touches
        // nothing of the port from then on.
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
    handOff_.reset();
}

void TBComPort::closeDevice() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
    wakeFd_ = -1;
    if (fd_ >= 0) {
        // The exclusive flag belongs to the terminal, not to this descriptor:
        // another holder (the emulator keeps its side open) would keep it set
        // and lock everybody but root out after we are gone.
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    fd_ = -1;
    connected_ = false;
    const std::lock_guard lock(queueMutex_);
    queue_.clear();
}

std::string TBComPort::ReadString(int Count) {
    if (!connected_) throw EComPort(ComText::ReadFailed);
    if (Count <= 0) return {};
    const auto want = static_cast<std::size_t>(Count);
    std::string bytes;
    const std::lock_guard lock(queueMutex_);
    const bool wasFull = queue_.size() >= capacity_;
    const std::size_t take = std::min(want, queue_.size());
    bytes.assign(queue_, 0, take);
    queue_.erase(0, take);
    // Bytes the event thread has not moved yet are there as well.
    if (bytes.size() < want && !deviceLost_) {
        const std::size_t from = bytes.size();
        bytes.resize(want);
        const ssize_t n = ::read(fd_, bytes.data() + from, want - from);
        if (n < 0 && errno != EAGAIN && errno != EINTR && !deviceGone(errno)) {
            throw EComPort(ComText::ReadFailed);
        }
        bytes.resize(from + static_cast<std::size_t>(n > 0 ? n : 0));
    }
    if (wasFull && queue_.size() < capacity_) wake(wakeFd_);
    return bytes;
}

void TBComPort::SetBaudRate(TBaudRate value) {
    changeLineSetting(baudRate_, value);
}

void TBComPort::SetByteSize(TByteSize value) {
    changeLineSetting(byteSize_, value);
}

void TBComPort::SetParity(TParity value) {
    changeLineSetting(parity_, value);
}

void TBComPort::SetStopBits(TStopBits value) {
    changeLineSetting(stopBits_, value);
}

void TBComPort::SetPort(const std::string& value) {
    if (connected_) throw EComPort(ComText::PropertyWhileOpen);
    port_ = value;
}

void TBComPort::SetInBufSize(int value) {
    value = evenSize(value);
    if (value == inBufSize_) return;
    inBufSize_ = value;
    if (connected_) applyQueueSizes();
}

void TBComPort::SetOutBufSize(int value) {
    value = evenSize(value);
    if (value == outBufSize_) return;
    outBufSize_ = value;
    if (connected_) applyQueueSizes();
}

void TBComPort::SetSyncMethod(TSyncMethod value) {
    if (value == syncMethod_) return;
    if (connected_) throw EComPort(ComText::PropertyWhileOpen);
    syncMethod_ = value;
}

void TBComPort::SetTimeouts(const TComTimeouts& value) {
    timeouts_ = value;
    if (connected_) applyTimeouts();
}

void TBComPort::applyQueueSizes() {
    // The kernel keeps its own buffers; the receive queue here is the one the
    // size limits. Nothing is ever written, so the transmit size is kept only.
    if (inBufSize_ <= 0 || outBufSize_ <= 0) throw EComPort(ComText::SetupComm);
    bool roomAgain = false;
    {
        const std::lock_guard lock(queueMutex_);
        const auto capacity = static_cast<std::size_t>(inBufSize_);
        roomAgain = queue_.size() >= capacity_ && queue_.size() < capacity;
        capacity_ = capacity;
    }
    if (roomAgain && wakeFd_ >= 0) wake(wakeFd_);
}

void TBComPort::applyLineSettings() {
    termios tio{};
    speed_t speed = B0;
    if (::tcgetattr(fd_, &tio) != 0 || !speedOf(baudRate_, speed)) {
        throw EComPort(ComText::SetCommState);
    }
    // Binary: no line editing, echo, signals or character translation.
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= sizes[static_cast<int>(byteSize_)];
    switch (parity_) {
    case TParity::paNone: break;
    case TParity::paOdd: tio.c_cflag |= PARENB | PARODD; break;
    case TParity::paEven: tio.c_cflag |= PARENB; break;
    case TParity::paMark: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case TParity::paSpace: tio.c_cflag |= PARENB | CMSPAR; break;
    }
    if (parity_ != TParity::paNone) tio.c_iflag |= INPCK;
    // The terminal interface's second stop bit is one and a half with five
    // data bits, as on a UART; other sizes have no half.
    if (stopBits_ == TStopBits::sb1_5 && byteSize_ != TByteSize::bs5) throw EComPort(ComText::SetCommState);
    if (stopBits_ != TStopBits::sb1) tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        ::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        throw EComPort(ComText::SetCommState);
    }
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIS, &lines) != 0 && !noModemLines(errno)) throw EComPort(ComText::SetCommState);
}

void TBComPort::applyTimeouts() {
    // Reads return at once with what has arrived, whatever the values: the
    // event thread announces arrivals, so nobody ever waits in a read.
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) throw EComPort(ComText::SetCommTimeouts);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) throw EComPort(ComText::SetCommTimeouts);
}

void TBComPort::run(std::shared_ptr<HandOff> state) {
    for (;;) {
        bool room = false;
        {
            const std::lock_guard lock(queueMutex_);
            room = queue_.size() < capacity_;
        }
        // A full queue is not polled for input, or poll would return at once
        // until the owner reads.
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, static_cast<short>(room ? POLLIN : 0), 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }
        if (state->isStopped()) return;
        bool lost = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        unsigned events = 0;
        if ((fds[1].revents & POLLIN) != 0) events = fillQueue(lost);
        if (events != 0) handOff(events, state);
        if (state->isStopped()) return;
        if (lost) {
            // Waiting on a hung-up device would return at once forever.
            deviceLost_ = true;
            handOff(DeviceLost, state);
            return;
        }
    }
}

unsigned TBComPort::fillQueue(bool& lost) {
    const std::lock_guard lock(queueMutex_);
    if (queue_.size() >= capacity_) return 0;
    const std::size_t before = queue_.size();
    queue_.resize(capacity_);
    const ssize_t n = ::read(fd_, queue_.data() + before, capacity_ - before);
    queue_.resize(before + static_cast<std::size_t>(n > 0 ? n : 0));
    if (n == 0 || (n < 0 && deviceGone(errno))) lost = true;
    if (n <= 0) return 0;
    unsigned events = RxChar;
    const std::size_t mark = capacity_ * 8 / 10;
    if (before < mark && queue_.size() >= mark) events |= Rx80Full;
    return events;
}

void TBComPort::handOff(unsigned events, const std::shared_ptr<HandOff>& state) {
    switch (syncMethod_) {
    case TSyncMethod::smNone:
        dispatch(events, state);
        return;
    case TSyncMethod::smWindowSync:
        // One job per event; the thread goes back to waiting at once.
        for (const Event event : {RxChar, Rx80Full, DeviceLost}) {
            if ((events & event) == 0) continue;
            post_->post([this, state, event] { dispatch(event, state); });
        }
        return;
    case TSyncMethod::smThreadSync: {
        std::unique_lock lock(state->mutex);
        if (state->stopped) return;
        const std::uint64_t ticket = ++state->posted;
        lock.unlock();
        post_->post([this, state, events, ticket] {
            dispatch(events, state);
            {
                const std::lock_guard done(state->mutex);
                state->done = ticket;
            }
            state->changed.notify_all();
        });
        // Close gives up on the job rather than wait for it: the window
        // thread may be inside Close and never get to run it.
        lock.lock();
        state->changed.wait(lock, [&] { return state->stopped || state->done >= ticket; });
        return;
    }
    }
}

void TBComPort::dispatch(unsigned events, const std::shared_ptr<HandOff>& state) {
    for (const Event event : {RxChar, Rx80Full, DeviceLost}) {
        if ((events & event) == 0) continue;
        // A handler may have closed or even destroyed the port.
        if (state->isStopped()) return;
        try {
            dispatchOne(event);
        } catch (const std::exception& failure) {
            reportFailure(failure.what(), state);
        } catch (...) {
            reportFailure("unknown failure", state);
        }
    }
}

void TBComPort::reportFailure(const char* text, const std::shared_ptr<HandOff>& state) {
    if (state->isStopped() || !OnEventFailure) return;
    try {
        OnEventFailure(*this, text);
    } catch (...) {
        // Nowhere further to go from an event loop or the event thread.
    }
}

void TBComPort::dispatchOne(Event event) {
    switch (event) {
    case RxChar: {
        std::size_t count = 0;
        {
            const std::lock_guard lock(queueMutex_);
            count = queue_.size();
        }
        if (count > 0 && OnRxChar) OnRxChar(*this, static_cast<int>(count));
        return;
    }
    case Rx80Full:
        if (OnRx80Full) OnRx80Full(*this);
        return;
    case DeviceLost:
        if (OnDeviceLost) OnDeviceLost(*this);
        return;
    }
}

}  // namespace zelvar

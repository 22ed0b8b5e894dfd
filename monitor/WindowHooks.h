#pragma once

namespace zelvar {

// The GPS serial port as the close sequence needs it.
class GpsPortControl {
public:
    virtual ~GpsPortControl() = default;
    virtual void closePort() = 0;
};

}  // namespace zelvar

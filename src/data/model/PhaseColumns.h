#pragma once

#include <cmath>
#include <cstdint>

namespace kurvex {

// The unwrapping below, one valid finite phase sample at a time: its
// continuous value. `xKnown`: x is valid and finite.
class PhaseUnwrapper {
public:
    double Next(double degrees, double x, bool xKnown) {
        if (started_ && xKnown && x < lastX_) started_ = false;
        double v = std::remainder(degrees, 360.0);
        if (v == -180.0) v = 180.0;
        if (started_) {
            double step = degrees - lastGiven_;
            if (std::abs(step) > 180.0) step -= 360.0 * std::round(step / 360.0);
            v = lastOut_ + step;
        }
        started_ = true;
        if (xKnown) lastX_ = x;
        lastGiven_ = degrees;
        lastOut_ = v;
        return v;
    }

private:
    bool started_ = false;
    double lastX_ = 0.0, lastGiven_ = 0.0, lastOut_ = 0.0;
};

// Makes a phase column in degrees continuous along the rising X beside it,
// in place: the first valid sample keeps its principal value, and a step of
// more than 180 degrees between neighbouring valid samples is taken as a
// wrap. Where X falls back (the next sweep of a stepped file) the unwrapping
// starts afresh. Samples not valid are left as they are.
void UnwrapPhaseColumn(const double* x, const std::uint8_t* xFlags, double* degrees,
                       const std::uint8_t* flags, std::int64_t rows);

// The group delay in seconds, -(1/360) dphi/df, of a phase in degrees over a
// frequency in Hz, into `delay` and `delayFlags`. The phase is unwrapped
// first. Inside, the three-point derivative for uneven spacing; one-sided at
// the two ends. A sample is invalid when it or a neighbour it needs is
// invalid, or when the frequency does not rise across them.
void GroupDelayColumn(const double* frequency, const std::uint8_t* frequencyFlags,
                      const double* degrees, const std::uint8_t* flags, double* delay,
                      std::uint8_t* delayFlags, std::int64_t rows);

}  // namespace kurvex

#pragma once

#include "effects/family.h"

namespace wavfx {

// Normalisation to a peak level: one gain, 10^((level - peak) / 20) rounded to single precision
// (10^x from + - * / alone, at most 160 dB), where `peak` is the input's sample or true peak as
// measured first. A silent input (peak below -200 dB) is left as it is.
extern const EffectFamily kNormFamily;

// The value of a measured parameter that asks for the measurement, and the one below which the
// input counts as silent.
constexpr double kMeasureFirst = -300.0;
constexpr double kSilentBelow = -200.0;

// The measured value as a parameter takes it: -inf (silence) and anything at or below
// kMeasureFirst (an inaudible input: peaks of 1e-15 and below) become kSilentBelow - 50.
double MeasuredParameter(double measured);

// The measurement of a stream after a gain of `db` decibels: loudness and peaks move by it, the
// loudness range stays.
StreamMeasurement AfterGain(const StreamMeasurement& measured, double db);

}  // namespace wavfx

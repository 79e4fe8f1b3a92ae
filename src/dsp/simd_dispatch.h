#pragma once

#include <cstddef>
#include <cstdint>

namespace wavfx {

struct CompandCurve;

// How the effects process a block: one sample at a time (the reference), or with the vector
// kernels of AVX2 or AVX-512, chosen at run time on x86-64. Every path gives the same bits.
enum class VectorPath : int {
  Scalar = 0,
  Avx2 = 1,
  Avx512 = 2,
};

// The vector kernels of one instruction set, over interleaved floats in place. Each computes
// exactly what the scalar code of its effect does. Those that return a count process whole
// vectors only and leave the values or frames from that count on to the scalar code.
// The phaser's sweep: f = centre * 10^(depthDecades * s) within [lowest, highest], its angle
// f * radiansPerHz, and pi / 2 for the tangent's cosine.
struct PhaserSweep {
  double centre;
  double depthDecades;
  double lowest;
  double highest;
  double radiansPerHz;
  double halfPi;
};

struct VectorKernels {
  // SampleToFloat and FloatToSample of `count` values.
  void (*toFloats)(const int16_t* samples, float* values, std::size_t count);
  void (*toSamples)(const float* values, int16_t* samples, std::size_t count);
  // toSamples of whole vectors, adding the values that ClipsAt16Bits to `clipped`.
  std::size_t (*toSamplesCountingClips)(const float* values, int16_t* samples, std::size_t count,
                                        uint64_t& clipped);
  // IntsToFloats with the scale 2^-(bits - 1), and FloatsToInts with top = 2^(bits - 1) - 1,
  // which adds the values clamped to `clipped`.
  std::size_t (*intsToFloats)(const int32_t* samples, float* values, std::size_t count,
                              float scale);
  std::size_t (*floatsToInts)(const float* values, int32_t* samples, std::size_t count, double top,
                              uint64_t& clipped);
  // Sets the values that are not finite to 0, adding how many there were to `found`.
  std::size_t (*zeroNonFinite)(float* values, std::size_t count, uint64_t& found);
  // UnpackInts and PackInts of 3-byte samples in the given byte order.
  std::size_t (*unpack24)(const unsigned char* data, int32_t* samples, std::size_t count,
                          bool bigEndian);
  std::size_t (*pack24)(const int32_t* samples, unsigned char* data, std::size_t count,
                        bool bigEndian);
  // The distortion of `count` values.
  std::size_t (*distort)(float* values, std::size_t count, float drive, float outputLevel);
  // The bitcrusher of `count` values with the quantiser's levels / 2, levels - 1 and 2 / levels.
  std::size_t (*crush)(float* values, std::size_t count, float half, float top, float step);
  // The widener of `frames` stereo frames.
  std::size_t (*widen)(float* values, std::size_t frames, float width);
  // The antique effect's noise, quantiser and level for `count` filtered values; `seed` is the
  // noise generator's state, advanced once a value. The quantiser of 2 * half + 1 levels
  // multiplies by `half`, clamps to [0, 2 * half], floors and maps back to [-1, 1].
  std::size_t (*age)(float* values, std::size_t count, uint32_t& seed, float noiseLevel,
                     double half, float level);
  // The one-pole filter (OnePoleStep, the highpass taking the input minus its result) of
  // `frames` stereo 16-bit frames in place, SampleToFloat before and FloatToSample after;
  // `memories` holds the two channels' memories. Subnormal memories are left as they are.
  std::size_t (*onePoleSamples)(int16_t* samples, std::size_t frames, float a, float* memories,
                                bool highpass);
  // The same filter followed by `age`, for the antique effect.
  std::size_t (*antiqueSamples)(int16_t* samples, std::size_t frames, float a, float* memories,
                                uint32_t& seed, float noiseLevel, double half, float level);
  // The same over `frames` stereo frames of floats in place (OnePoleStep, then `age`).
  std::size_t (*antiqueFloats)(float* values, std::size_t frames, float a, float* memories,
                               uint32_t& seed, float noiseLevel, double half, float level);
  // The compressor's gains of `count` envelope levels in place: 1 up to `threshold`, above it
  // 1 / PowerOfRatio(level / threshold, exponent).
  std::size_t (*compressorGains)(float* levels, std::size_t count, float threshold, float exponent);
  // CompandGain of `count` envelope levels.
  std::size_t (*compandGains)(const CompandCurve& curve, const double* levels, double* gains,
                              std::size_t count);
  // Each value times its frame's gain, for `frames` frames of `channels` values.
  std::size_t (*scale)(float* values, const float* gains, std::size_t frames, std::size_t channels);
  // Each of `count` values times `gain`, whole vectors only; returns how many it did.
  std::size_t (*gain)(float* values, std::size_t count, float gain);
  // The echo of `count` values whose delay slots are the consecutive `slots`.
  std::size_t (*echo)(float* values, float* slots, std::size_t count, float wetGain, float dryGain,
                      float feedback);
  // One comb of the reverb over `count` consecutive values, its slots the consecutive `slots`:
  // each value becomes the slot's old content, and the slot that times the feedback plus the
  // value.
  std::size_t (*comb)(float* values, float* slots, std::size_t count, float feedback);
  // The flanger's and chorus's read points of `count` frames: the delay is lfo * sweep +
  // minDelay frames before buffer frame wFrames[i] of `span` (below 2^24). Stops at the first
  // vector with a point that needs more than one wrap, and returns the frames done.
  std::size_t (*readPoints)(const float* lfo, const uint32_t* wFrames, std::size_t count,
                            float sweep, float minDelay, uint32_t span, uint32_t* older,
                            uint32_t* newer, float* frac);
  // The flanger's and chorus's stereo frames from `at` on, with the read points above and the
  // write position `w` (a sample index of the buffer of `length` samples); returns the frame it
  // stopped at, a frame that the scalar code takes.
  std::size_t (*delayStereo)(float* buffer, uint32_t length, uint32_t& w, const uint32_t* older,
                             const uint32_t* newer, const float* frac, float* samples,
                             std::size_t at, std::size_t count, float wetGain, float dryGain,
                             float feedback);
  // SinePlusOne and HalfSinePlusOne of `count` phases.
  void (*sinePlusOne)(const float* phases, float* values, std::size_t count);
  void (*halfSinePlusOne)(const float* phases, float* values, std::size_t count);
  // The dither's triangular noise and rounding (TPDF) of `frames` frames of one or two channels,
  // channel c's generator keyed keys[c], from frame number `frame` on, onto the grid of `steps`
  // steps per unit; whole vectors only. Null where the lanes lack 64-bit products.
  std::size_t (*ditherTpdf)(float* values, std::size_t frames, uint32_t channels,
                            const uint64_t* keys, uint64_t frame, double steps, double stepSize);
  // The phaser's stages without feedback over `frames` (at most kPhaserKernelFrames) frames of
  // `group` adjacent channels
  // (group * stages <= 16), frames `stride` floats apart; the frames before runEnds[r] (and
  // after the run before) take the stage coefficient runCoefficients[r]. Channel c's memories
  // (each stage's last input, then the last output) are at memories + c * (stages + 1). Null
  // where the lanes are too few.
  void (*phaser)(float* samples, std::size_t frames, std::size_t stride, uint32_t group,
                 uint32_t stages, const uint32_t* runEnds, const float* runCoefficients,
                 float* memories, float dry, float wet);
  // The same over 16-bit samples of `group` channels (frames `group` samples apart), in place,
  // with exactly the bits of converting them, running `phaser` and converting back; `scratch`
  // holds frames * group floats.
  void (*phaserSamples)(int16_t* samples, std::size_t frames, uint32_t group, uint32_t stages,
                        const uint32_t* runEnds, const float* runCoefficients, float* memories,
                        float dry, float wet, float* scratch);
  // The phaser's stage coefficients of `count` oscillator values (s + 1), whole vectors only;
  // stops before a vector whose sweep reaches beyond 10^+-3.
  std::size_t (*phaserCoefficients)(const float* sinesPlusOne, float* coefficients,
                                    std::size_t count, const PhaserSweep& sweep);
  // The largest magnitude, at least `largest`, of the true-peak points whose windows start at
  // window[0], window[1], ... (TruePeakPoint with stride 1); whole vectors of points only.
  std::size_t (*truePeak)(const float* window, std::size_t points, float& largest);
  // Each point's LargestMagnitude (TruePeakPoint with stride 1) into largest[n]; whole vectors.
  std::size_t (*truePeakPoints)(const float* window, std::size_t points, float* largest);
  // out = ((w0 row0 + w1 row1) + w2 row2) + w3 row3 over four consecutive rows of `taps` values,
  // a multiple of 64: the resampler's interpolated phase.
  void (*mixRows)(const float* rows, std::size_t taps, const float* w, float* out);
  // HalfBandFloat's outputs, whole vectors of them; returns how many.
  std::size_t (*halfBand)(const float* even, const float* odd, const float* h, std::size_t pairs,
                          std::size_t count, float* y);
};

// The most stereo frames a kernel over 16-bit frames leaves to the scalar code.
constexpr std::size_t kSampleVectorFrames = 8;

// The most frames of one call of the phaser's kernels.
constexpr std::size_t kPhaserKernelFrames = 2048;

// The kernels of the path in use, or null for the scalar path.
const VectorKernels* ActiveKernels();

VectorPath ActiveVectorPath();
bool VectorPathAvailable(VectorPath path);

// Makes the effects take `path` when this processor runs it, so that tests can compare the
// paths; the reset restores the automatic choice of the widest path.
void SetVectorPathForTesting(VectorPath path);
void ResetVectorPathForTesting();

// The kernel tables, defined where the processor is x86-64.
extern const VectorKernels kAvx2Kernels;
extern const VectorKernels kAvx512Kernels;

// The AVX2 kernels that the AVX-512 table shares.
std::size_t OnePoleSamplesAvx2(int16_t* samples, std::size_t frames, float a, float* memories,
                               bool highpass);
std::size_t Unpack24Avx2(const unsigned char* data, int32_t* samples, std::size_t count,
                         bool bigEndian);
std::size_t Pack24Avx2(const int32_t* samples, unsigned char* data, std::size_t count,
                       bool bigEndian);

}  // namespace wavfx

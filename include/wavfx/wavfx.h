/* wavfx: audio effects for 16-bit PCM WAV files and in-memory sample streams. */
#ifndef WAVFX_WAVFX_H
#define WAVFX_WAVFX_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
#include <uchar.h>
#endif

#if defined(_WIN32)
#define WAVFX_API __declspec(dllexport)
#else
#define WAVFX_API __attribute__((visibility("default")))
#endif

/* The streaming functions never throw. */
#ifdef __cplusplus
#define WAVFX_NOEXCEPT noexcept
#else
#define WAVFX_NOEXCEPT
#endif

/*
 * Reads the 16-bit PCM WAV file `input`, applies the effect named `effect` to every sample and
 * writes the result to `output` as a new WAV file with the same channel count and sample rate.
 *
 * All three arguments are null-terminated UTF-16 strings; paths are converted to UTF-8.
 * Effect names are matched ignoring the case of A-Z: "antique", "echo", "reverb" ("concert"),
 * "tremolo", "distort" ("overdrive"), "lowpass", "highpass", "bitcrush" ("bitcrusher"),
 * "flanger", "chorus", "compress" ("compressor"), "widen" ("stereo"). "none" and any other
 * name copy the audio unchanged.
 *
 * Returns 1 when the job could not start (an argument is missing or longer than 199 bytes,
 * the input cannot be opened or is not a supported WAV file, input and output are the same
 * file, or the output cannot be created); no output file is created then, except in the last
 * case. Returns 999 once both files were open, also when reading or writing failed part-way.
 * Diagnostics are single lines on standard error beginning "Error: ".
 *
 * The call keeps no state between calls and may run on several threads at once on different
 * files.
 */
WAVFX_API int32_t WAVEffect(const char16_t* input, const char16_t* output, const char16_t* effect);

/* The library's version, "MAJOR.MINOR.PATCH". */
WAVFX_API const char* wavfx_version(void) WAVFX_NOEXCEPT;

/*
 * Streaming: the effects of WAVEffect for audio held in memory. An effect instance carries its
 * state (filter memories, delay lines, oscillator phases) from one block to the next, so a
 * stream cut into blocks of any sizes gives the same samples as one pass over the whole, and the
 * same samples as WAVEffect on a file holding that audio. Nothing is printed. Instances are
 * independent: different instances may be used on different threads at once; one instance must
 * not be used by two threads at the same time.
 */
typedef struct wavfx_effect wavfx_effect;

/* Results of wavfx_effect_process. */
#define WAVFX_OK 0
#define WAVFX_ERROR_NULL_EFFECT (-1)     /* the effect handle is NULL */
#define WAVFX_ERROR_NEGATIVE_FRAMES (-2) /* frames is below 0 */
#define WAVFX_ERROR_NULL_SAMPLES (-3)    /* samples is NULL while frames is above 0 */
#define WAVFX_ERROR_PARTIAL_FRAME (-4)   /* C++ wrapper: a span that does not hold whole frames */
#define WAVFX_ERROR_RESHAPES (-5) /* the chain changes the rate, channels or length: see flow */
#define WAVFX_ERROR_FLUSHED (-6)  /* flow after the stream's flush: reset starts a new stream */

/*
 * Creates an instance of the effect called `name` (any family's name or alias, as listed below,
 * matched ignoring the case of A-Z, at its defaults; "none" passes the audio through unchanged) for
 * a stream of `channels` interleaved channels at `sample_rate` frames per second.
 *
 * Returns NULL, printing nothing, when `name` is NULL or not an effect name (unlike WAVEffect,
 * an unknown name is not taken as "none"), when `channels` or `sample_rate` is 0, or when the
 * memory for the effect's delay lines cannot be allocated (or one would exceed 1 GiB, as absurd
 * sample rates ask), and for norm and loudnorm, which need their input measured first (see
 * wavfx_chain_measure). Release the instance with wavfx_effect_destroy.
 */
WAVFX_API wavfx_effect* wavfx_effect_create(const char* name, uint32_t channels,
                                            uint32_t sample_rate) WAVFX_NOEXCEPT;

/*
 * Applies the effect in place to `frames` frames of interleaved signed 16-bit samples in host
 * byte order (frames * channels samples), continuing the stream where the previous call ended.
 * Any number of frames may be passed per call, 0 included.
 *
 * Returns WAVFX_OK, or, leaving the samples and the effect's state untouched,
 * WAVFX_ERROR_NULL_EFFECT, WAVFX_ERROR_NEGATIVE_FRAMES, WAVFX_ERROR_RESHAPES (a chain that
 * changes the rate, the channels or the length: use the flow calls) or WAVFX_ERROR_NULL_SAMPLES
 * (checked in that order). `samples` may be NULL when `frames` is 0.
 */
WAVFX_API int32_t wavfx_effect_process(wavfx_effect* effect, int16_t* samples,
                                       int32_t frames) WAVFX_NOEXCEPT;

/* Frees the instance and everything it holds. NULL is accepted and ignored. */
WAVFX_API void wavfx_effect_destroy(wavfx_effect* effect) WAVFX_NOEXCEPT;

/*
 * The accepted effect names, indexed from 0 to wavfx_effect_name_count() - 1 in a fixed order.
 * Aliases immediately follow the name they stand for and select the same effect.
 */
WAVFX_API size_t wavfx_effect_name_count(void) WAVFX_NOEXCEPT;

/* The name at `index` in lower case, or NULL when `index` is out of range. */
WAVFX_API const char* wavfx_effect_name(size_t index) WAVFX_NOEXCEPT;

/* A one-line description of the effect at `index`, or NULL when `index` is out of range. */
WAVFX_API const char* wavfx_effect_name_description(size_t index) WAVFX_NOEXCEPT;

/* 1 when the name at `index` is an alias of the name before it, 0 otherwise or out of range. */
WAVFX_API int wavfx_effect_name_is_alias(size_t index) WAVFX_NOEXCEPT;

/* ---- Effects with parameters and chains ------------------------------------------------- */

/* One parameter of an effect: its name (the key in a chain's text), unit ("" when it has none),
 * default, the inclusive range every value must lie in, whether it takes whole numbers only, and
 * a one-line meaning. */
typedef struct wavfx_parameter_info {
  const char* name;
  const char* unit;
  double default_value;
  double minimum;
  double maximum;
  int integer;
  const char* description;
} wavfx_parameter_info;

/* One effect family: its canonical name, its aliases, a one-line description and its
 * parameters, in the order the registry lists them. */
typedef struct wavfx_effect_info {
  const char* name;
  const char* const* aliases;
  size_t alias_count;
  const char* description;
  const wavfx_parameter_info* parameters;
  size_t parameter_count;
} wavfx_effect_info;

/* The effect families, from 0 to wavfx_effect_info_count() - 1, "none" first. The records are
 * static: they stay valid for the life of the process. NULL when `index` is out of range. */
WAVFX_API size_t wavfx_effect_info_count(void) WAVFX_NOEXCEPT;
WAVFX_API const wavfx_effect_info* wavfx_effect_info_at(size_t index) WAVFX_NOEXCEPT;

/* Why a chain could not be created: a code below and one line that names the stage, the
 * parameter, the value and the valid range, without a trailing newline. */
typedef struct wavfx_error {
  int32_t code;
  char message[256];
} wavfx_error;

#define WAVFX_ERROR_NULL_ARGUMENT (-10)     /* the chain text is NULL */
#define WAVFX_ERROR_BAD_STREAM (-11)        /* channels or sample_rate is 0 */
#define WAVFX_ERROR_EMPTY_STAGE (-12)       /* an empty chain, or an empty stage between commas */
#define WAVFX_ERROR_UNKNOWN_EFFECT (-13)    /* a stage names no effect */
#define WAVFX_ERROR_UNKNOWN_PARAMETER (-14) /* a key the stage's effect does not have */
#define WAVFX_ERROR_BAD_VALUE (-15)         /* not a finite number, or not whole where needed */
#define WAVFX_ERROR_OUT_OF_RANGE (-16)      /* a value outside the parameter's range */
#define WAVFX_ERROR_DUPLICATE (-17)         /* a parameter given twice in one stage */
#define WAVFX_ERROR_TOO_MANY_STAGES (-18)   /* more than WAVFX_MAX_STAGES stages */
#define WAVFX_ERROR_NO_MEMORY (-19)         /* an effect's delay lines could not be allocated */
#define WAVFX_ERROR_CONFLICT (-20)          /* parameters that contradict each other */
#define WAVFX_ERROR_NEEDS_MEASUREMENT (-21) /* norm or loudnorm before their input is measured */

#define WAVFX_MAX_STAGES 32

/*
 * Creates a chain of effects from the text the command line takes, in FFmpeg's filter syntax:
 * `name[=key=value[:key=value]...][,name...]`, for instance
 * "lowpass=cutoff=2000,echo=delay=250:feedback=0.3". Names and keys ignore the case of A-Z;
 * blanks around names, keys and values are ignored; a parameter left out takes its default.
 * Each stage hands its single-precision values to the next, so a chain of one stage is exactly
 * that effect, and naming a parameter with its default (as wavfx_effect_info lists it) changes
 * nothing.
 *
 * How the parameters enter the arithmetic: the one-pole cutoffs, the tremolo's rate and depth,
 * the distortion's drive and level, the bitcrusher's bits, the six parameters of the flanger
 * and chorus, the compressor's four and the widener's width are rounded to single precision and
 * used where the fixed constants were. Antique: cutoff, noise and level in single precision;
 * `bits` gives L = 2^bits levels, the value v + 1 being scaled by (L - 1) / 2, floored and
 * clamped to 0..L - 1, and mapped back by 2 / (L - 1), in double; the cutoff follows the rate
 * (0.45 of it) when the rate is below twice the cutoff. Echo: the delay in seconds is
 * delay * 0.001 in double (350 gives 15435 frames at 44100 Hz); feedback, wet and dry in single
 * precision. Reverb: comb lengths are rate / 44100 * size * base length in double, truncated;
 * each comb's feedback is its constant times decay in single precision; wet and dry in single
 * precision.
 *
 * Stages that reshape the stream (see the flow calls below): resample converts with a
 * polyphase Kaiser-windowed sinc at exact rational positions (output frame n at input position
 * n * in / out, linear phase, no added delay; round(N * out / in) frames, halves up, for N input
 * frames); per quality, flat within 0.01 dB up to 70, 80, 90 (high, the default) or 95% of the
 * lower Nyquist frequency with aliases and images 70, 100, 125 or 150 dB down; each dot product
 * in a fixed order of partial sums with fused multiply-adds (veryhigh in double precision), so
 * the bytes are the same on every build. Below half the input rate (but for veryhigh) a
 * half-band decimator by two goes first where the two stages take fewer multiply-adds an output
 * frame than one: y[m] = 0.5 x[2m] + sum over k < P of h[k] (x[2m-2k-1] + x[2m+2k+1]), Kaiser-
 * windowed, its transition band from the output's Nyquist frequency to its mirror image about a
 * quarter of the input rate, 10 dB beyond the quality's attenuation; in single precision, each
 * pair's sum added by a fused multiply-add from k = P - 1 down, the centre's product last. The
 * polyphase stage then converts from half the input rate.
 * speed resamples from round(factor * 10^6) to 10^6 at the
 * stream's own rate: round(N / factor) frames. With an output rate R (rate > 0) the stream is
 * taken as one at factor times its rate and converted once, from round(factor * 10^6) * in to
 * 10^6 * R (the same converter and bits as without when R is the input's rate): round(N * R /
 * (in * factor)) frames at R Hz; refused when R is beyond a factor of 256 of in * factor.
 * channels from N to M: M copies of input channel j mod N when M > N; when M < N output i is the
 * single-precision sum of inputs i, i + M, ... in that order times float(1 / terms). remix: each
 * output the terms of its map in the order written, w * x rounded before each addition, weights
 * read as floats. trim, pad and fade take
 * seconds rounded to the nearest frame (halves up) or a frame count written with a trailing 's';
 * pad adds zero samples; fade scales frame i of its fade-in (and frame k before the last of its
 * fade-out) by float(curve(i / I)) with curve linear t, qsin sin(t pi/2), hsin sin(t pi/2)^2,
 * log 10^(5 (t - 1)), para 1 - (1 - t)^2 evaluated in double with + - * / only, the sample times
 * the gain rounded to single precision; the fade-out holds back its own length (a file job that
 * knows the input's exact length fades in place, with the same bits). gain multiplies
 * by g = float(10^(db / 20)), 10^x from + - * / only. Stages that only move samples, and
 * identity settings (gain 0 dB, resample to the same rate, speed 1), copy samples exactly.
 *
 * freeverb is SoX's reverb (a Freeverb network) with SoX's parameters in SoX's order. Each channel
 * is pre-delayed by floor(predelay * rate / 1000 + 0.5) frames and runs through a network of eight
 * combs in parallel (at 44.1 kHz 1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617 frames, times s =
 * room / 100 * 0.9 + 0.1) and four all-passes in series (556, 441, 341, 225), every length times
 * rate / 44100 rounded to the nearest (at least 1); a comb outputs its slot's old value o, keeps m
 * = o + (m - o) d and stores x + m f (0 when below 2^-126 in magnitude, so that silence does not
 * leave the combs on slow subnormals); an all-pass outputs o - v and stores v + o / 2; the combs'
 * outputs are added from the last to the first, the all-passes run from the last to the first and
 * the sum is multiplied by float(10^(wet / 20) * 0.015). f = float(1 - exp((reverberance - b) / (a
 * b))), a = -1 / ln 0.7, b = 100 / (a ln 0.02 + 1) (0.3 to 0.98; exp from the C library in double,
 * rounded once), d = float(damping / 100 * 0.3 + 0.2). A mono or stereo stream with depth above 0
 * runs each channel through a second network whose lengths are 12 * depth / 100 frames longer and
 * shorter by turns (before the scaling); stereo output side k is the dry sample plus half the sum
 * of both channels' networks of side k, mono the dry sample plus the mean of its two networks;
 * otherwise each channel is its dry sample plus its own network. All in single precision, each
 * operation rounded on its own, in SoX's order; wetonly drops the dry sample, dry scales it.
 * Against SoX 14.4.2 (sox -D to 32-bit floats) and torchaudio 0.13.1's sox_effects the RMS
 * difference is below -110 dB of the output where SoX's integer samples do not clip (measured -115
 * to -144 dB); SoX clips at full scale, freeverb leaves floats alone. Channels: SoX's reverb turns
 * mono with a stereo depth into two channels; freeverb keeps the channel count (a plugin, like the
 * other in-place families): its mono output is what the sox command gives for a mono file (the two
 * sides mixed back), and channels=count=2 before it gives SoX's two sides (torchaudio's output) by
 * the same arithmetic: both channels' networks are then alike, and half their sum is each one
 * exactly. More than two channels: no spread, as SoX. freeze=yes holds the combs (no input, f = 1,
 * d = 0). pedalboard's Reverb names are aliases on pedalboard's scales: room_size r sets
 * reverberance to give f = 0.7 + 0.28 r, wet_level w sets wet = 20 log10(3 w) dB (pedalboard's wet
 * gain for mono; 0.105 <= w <= 1.05), dry_level sets dry = 2 dry_level, width sets depth = 100
 * width, freeze_mode >= 0.5 sets freeze. damping keeps SoX's percent (pedalboard's damping p is its
 * d = 0.4 p). The network is SoX's, not pedalboard's (JUCE's: the input mixed to mono, stereo
 * spread of 23 frames and a width matrix, parameter smoothing), so its output is near pedalboard's
 * in character, not in samples; pedalboard is not a Debian package and was not measured.
 *
 * SoX's models as options, in double precision with rate, depth, drive and colour as given:
 * tremolo swing=down multiplies frame n by o + (1 - o) sin(2 pi t), o = 1 - depth / 2,
 * t = frac(rate * n / sampleRate + 1/4) (from 1 down to 1 - depth, starting at 1; the sine a
 * polynomial within about 1e-15), the product rounded to single precision. distort model=sox
 * gives level * (x / 2 + 3/4 b[n]) with b[n] = c[n] - c[n-1] + 0.995 b[n-1] per channel (at most
 * 8) and c = clip(drive * x + colour): -2/3 below -1, 2/3 above 1, else v - v^3 / 3. Both are
 * within SoX's float conversions of sox 14.4.2's tremolo and overdrive.
 *
 * multichorus is SoX's chorus: voices (at most 7) "delay/decay/speed/depth/s|t" joined by '|',
 * blanks also separating fields (delay 20 to 100 ms, decay 0 to 1, speed 0.1 to 5 Hz, depth 0 to
 * 10 ms; empty: "55/0.4/0.25/2/t"), numbers read as floats. Every channel gives y = ((gainin x + d1 h[n - k1]) + d2 h[n -
 * k2] ...) gainout in single precision in that order, h the input alone (no feedback), from a
 * history of S = max over voices of int((delay + depth) rate / 1000) frames (delay + depth added
 * in single precision); a voice's k is its table value at its phase, 0 reading S frames back. A
 * voice of period L = int(rate / speed) frames takes, at point p of its period (the phase, plus
 * int(3/4 L + 1/2) for a triangle), round-half-away(low + (high - low) w): sine w = (sin(2 pi p
 * / L) + 1) / 2 (sin(pi x) a series in double, the same on every build), low 0, high D =
 * int(depth rate / 1000); triangle w = 2p / L + 1/2, 3/2 - 2p / L or 2p / L - 3/2 by quarter,
 * low S_v - 1 - 2D, high S_v - 1, S_v the voice's own int((delay + depth) rate / 1000). SoX's
 * sine swings the delay between 0 and D frames (so the voice reads S frames back at 0), as its
 * code does, not between delay and delay + depth as its manual says. SoX's output runs on for S
 * frames of silence: wavfx.sox pads first (pad=end=Ss). Against torchaudio 0.13.1 the difference
 * is SoX's truncation of its output to 24 bits (below 2^-23 per sample).
 *
 * soxflanger is SoX's flanger with its parameters in its order (delay, depth in ms, regen and
 * width in %, speed Hz, shape, phase %, interp), in double precision: g_in = 1 / (1 + w), g_d = w
 * / (1 + w) (1 - |r|) (w, r as fractions); a history of L = int((delay + depth) rate + 1/2) + 2
 * frames per channel (at most 4 channels, as SoX) walked backwards, storing x + r m (m the
 * channel's last delayed value) rounded to single precision; a sweep table of P = int(rate /
 * speed) floats, low + (high - low) w at point (t + int(3/4 P + 1/2)) mod P, low = floor(delay
 * rate + 1/2), high = L - 2, w SoX's sine or triangle (as multichorus); channel c reads the table
 * int(c P phase + 1/2) later. The delayed value is d0 + (d1 - d0) f (linear) or SoX's quadratic
 * through d0, d1, d2 at the table value's whole and fractional parts; y = x g_in + m g_d rounded
 * to single precision. Against torchaudio 0.13.1: within SoX's float conversions (2^-24 steps).
 *
 * compand is SoX's compander, in double precision. times holds attack/decay pairs in seconds
 * ('/' between numbers): one pair follows the loudest |x| of each frame for all channels, else
 * pair c follows channel c. An envelope v (initially 10^(volume / 20)) moves by (|x| - v) c per
 * frame, c = 1 - exp(-1 / (rate t)) with t the attack when |x| > v, the decay otherwise (c = 1
 * for t <= 1 / rate). points are SoX's transfer points in dB (-inf is -20 log10(2^31)): an odd
 * count's first level maps to itself, then in/out pairs, (0, 0) appended unless the last level
 * is 0, and a flat point 2 knee dB below the first; as SoX, they are gains g = out - in against
 * levels, a point in line with its neighbours (products of differences equal) is dropped, gain
 * dB is added, and each inner corner is rounded by SoX's parabola through the point knee before
 * it, the point and at most half the way to the next (its geometry from sqrt and quotients
 * rather than SoX's trigonometry), all in nepers (dB ln 10 / 20) as SoX. The sample's gain is
 * e^G at L = ln v (ln and exp from + - * / alone, the same on every build): G on the segment
 * holding L, the first point's gain below the rounding's start, the last point's above 0 dB;
 * y = float(x e^G). A delay of
 * int(delay rate channels) / channels frames holds the audio back while the envelope runs
 * ahead; at the end the held frames leave at the envelopes' last gains, so the output keeps the
 * input's length. Against torchaudio 0.13.1: within SoX's float conversions (2^-24 steps); SoX
 * itself differs where a delay is not whole frames (its output stops short) and where its held
 * frames leave above full scale (SoX wraps them to -1; wavfx keeps them).
 *
 * tempo stretches by WSOLA in SoX's framing (defaults segment 82 ms, search 14.68 ms, overlap
 * 12 ms; frames: segment and search round(rate * ms / 1000), overlap floor(rate * ms / 1000 +
 * 4.5) at least 16, taken down to a multiple of 8, 8 less when twice it exceeds the segment).
 * The input is prefixed with floor(search / 2) zero frames; segment k starts at
 * floor(factor * k * (segment - overlap) + 0.5) plus its splice offset p (p = floor(search / 2)
 * for the first), crossfades its first overlap frames with the previous segment's last ones
 * (a * (1 - w) + b * w, w = float(1 / overlap) * i) and writes segment - overlap frames; after
 * the input, zeros. p minimises the sum of squared differences with the kept frames over
 * 0 <= p < search, coarse to fine: channel sums added in pairs into levels of 2, 4, ... frames
 * (as long as rate / 2^L >= 5000 Hz and 2^L <= overlap / 4), the coarsest searched whole, each
 * finer level at three positions around the better one above, the last on every sample of every
 * channel; ties keep the earliest; eight partial sums in a fixed order, single precision
 * throughout. The output holds floor(N / factor + 0.5) frames (N / factor in double), as SoX's.
 * pitch with r = 2^(cents / 1200) (as 10^(cents / 1200 * log10 2), + - * / only) stretches by
 * f = 1 / r written to 12 significant digits (SoX's reading), L = floor(N / f + 0.5) frames,
 * then resamples by the convergent p / q of 1 / f's continued fraction with q <= 1024 (less when
 * the converter would interpolate its phases; within 1 / q^2 of 1 / f) at its quality (low by
 * default) and gives floor(L / ((rate / f) / rate) + 0.5) frames: the length SoX's pitch and
 * rate intend (SoX itself strays by a frame or two from it in some fractional upsamplings).
 * tempo 1 and pitch 0 copy samples exactly.
 * phaser runs `stages` first-order all-passes y = (a x + x') - a y' in single precision (x', y'
 * the stage's last input and output), all channels sharing a; the chain's input is the sample
 * plus feedback times the chain's last output (the sample itself when feedback is 0), and the
 * result (1 - mix) x + mix y. Every 32 frames of the stream a sine oscillator (the tremolo's, at
 * 32 times the rate, so the same bits on every build) gives s = float(sin + 1) - 1, and in double
 * f = centre * 10^(1.5 depth s) held within [20 Hz, min(20 kHz, 0.49 rate)], g = tan(pi f / rate)
 * as sin / cos from a fixed polynomial, a = float((g - 1) / (g + 1)). Its defaults are
 * pedalboard's (rate 1 Hz, depth 0.5, centre 1300 Hz, feedback 0, mix 0.5) with 6 stages; the
 * centre must lie below half the stream's rate. dither adds triangular noise of +-1 step of a
 * `bits`-deep grid (steps S = 2^(bits - 1) - 1 per unit, as the integer conversion scales) and
 * rounds onto it: q = floor(v + d + 0.5) in double, v = x S (0 for NaN, within S + 2 of 0), the
 * sample becomes float(q / S) with q clamped to [-S - 1, S], which converts back to exactly q.
 * d = (hi - lo) 2^-32 from the two 32-bit halves of SplitMix64's output n + 1 for frame n of
 * channel c, seeded with Mix(Mix(seed + G) + c + G) (G its golden-ratio increment, Mix its
 * output function), so equal seeds give equal bytes however the stream is cut. type shaped
 * feeds the error back first-order (v - e', e = q - (v - e') kept in single precision): the
 * noise is shaped by 1 - z^-1, zero at 0 Hz, +6 dB at Nyquist, below the flat noise up to a
 * sixth of the rate. bits 0 follows the output: jobs writing a file (the command line's paths,
 * the file calls, Python's) dither for the integer depth they write and leave float and 32-bit
 * output alone, as any depth beyond 24 bits; in memory 0 means 16. The dither is no plugin: a
 * plugin's output is floats that a host may write at any depth.
 * Dynamics. limiter (a look-ahead brickwall limiter, one gain for all channels) delays its signal
 * internally by L frames, D = max(1, floor(lookahead * rate / 1000 + 0.5)), L = D - 1 with
 * truepeak=0 and D + 21 with truepeak=1; a chain drops its first L frames and drains L frames of
 * silence, so output frame i stands for input frame i and the length is kept (such a chain uses
 * the flow calls; a plugin runs it in place and reports L as its latency). The ceiling c is
 * 10^(ceiling / 20) (TenToThe) times 1 - 2^-16 in double. Each input frame's demand is the
 * largest float not above c / peak (1 when peak <= c), peak being its largest |sample| and, with
 * truepeak=1, the largest |value| of the BS.1770-4 Annex 2 interpolator (4 phases of the
 * standard's 12 taps, single precision, taps in order) at the point ending there; the demands'
 * minimum over the last D (true peak: D + 11) frames is released (r = float(exp(-1000 /
 * (release * rate))), s = h < s ? h : h + (s - h) r in single precision) and averaged over D
 * frames (a running double sum times 1 / D), a ramp that ends before the loud frame leaves.
 * truepeak=0: each frame's gain is the smaller of that envelope and its own demand, so no output
 * sample exceeds c.
 * truepeak=1: the gain is constant over blocks of 12 frames: the block's smallest envelope,
 * lowered until every sample of the block, and every interpolated value whose 12-frame window
 * meets the block, is within c (a window over blocks b - 1 and b is g(b-1) P1 + g(b) P2 with
 * single-precision partial sums P1 and P2; g(b) also keeps g(b) P1 within c for windows reaching
 * into block b + 1, so the next block always has a solution), rounded towards 0. The output's
 * true peak (the output followed by silence) is then at most the ceiling: the rounding of the
 * samples and sums is a few 1e-6 of c, under the 2^-16 margin. gate: a frame whose largest
 * |sample| reaches 10^(threshold / 20) opens the gate for that frame and hold ms after it; the
 * gain moves each frame to target + (gain - target) a, target 1 (open) or 10^(-range / 20)
 * (closed), a = float(exp(-1000 / (ms * rate))) of the attack when rising and of the release
 * when falling, in single precision; it starts closed.
 * Two-pole filters (lowpass and highpass with poles=2, bandpass, bandreject, allpass,
 * equalizer, bass, treble): the sections of Robert Bristow-Johnson's Audio EQ Cookbook, as
 * SoX's filters of the same names, one per channel. With w0 = 2 pi f / rate, A = 10^(gain / 40)
 * and alpha = sin w0 / (2 q), or sin w0 / (2 f / width) for a width in Hz, sin w0 sinh(ln 2 / 2
 * N w0 / sin w0) for N octaves, sin w0 / 2 sqrt((A + 1/A)(1/slope - 1) + 2) for a shelf's slope;
 * the coefficients are designed in double precision from + - * / and sqrt only (the sines by a
 * polynomial, cos w0 as 1 - 2 sin^2(w0 / 2)), divided by a0, and run in direct form I in double
 * precision: y = (((b0 x + b1 x1) + b2 x2) - a2 y2) - a1 y1, each product and sum rounded on its
 * own, y rounded once to single precision for the output; outputs below 2^-1022 in the filter's
 * memory are set to 0 every 4096 frames (no output changes). The measured magnitude response is
 * within 0.01 dB of the cookbook's from 20 Hz to 0.45 of the rate. A frequency at or above half
 * the rate is refused; gain 0 dB copies samples exactly.
 *
 * norm and loudnorm act on the whole stream: their parameters carry the measurement of their
 * input (-300, the default, asks for it: see wavfx_chain_measure; a file job measures first).
 * norm multiplies by float(10^((level - peak) / 20)) (10^x from + - * / only; at most 160 dB),
 * peak the sample or true peak; a peak below -200 dB is silence, left as it is. loudnorm
 * multiplies by float(10^((target - measured) / 20)); when peak + that gain exceeds the ceiling
 * less 0.3 dB, the limiter (truepeak=1, its default release and look-ahead) follows at the
 * ceiling less 0.3 dB (headroom for meters with other interpolators, such as libebur128's, which
 * read up to 0.2 dB higher on music, and for the output's rounding), its delay
 * taken back out, and the measuring pass lowers `measured` by the output's shortfall from the
 * target, up to 8 times, until it lies within 0.02 LU. measured below -70 LUFS (nothing above
 * the gate) leaves the input as it is.
 *
 * Returns NULL and fills `error` (when not NULL) on any mistake, including settings that do not
 * fit the stream (a channel it lacks, a rate beyond a factor of 256); nothing is printed. The
 * instance is used and released like one from wavfx_effect_create.
 */
WAVFX_API wavfx_effect* wavfx_chain_create(const char* chain, uint32_t channels,
                                           uint32_t sample_rate, wavfx_error* error) WAVFX_NOEXCEPT;

/*
 * Applies the effect or chain in place to `frames` frames of interleaved single-precision
 * samples, full scale being -1 to 1. Values are not clamped: a stage may return values beyond
 * full scale. NaN and infinite inputs are read as 0 (and written back as the processed value),
 * so they never enter an effect's state. Results as for wavfx_effect_process.
 */
WAVFX_API int32_t wavfx_effect_process_float(wavfx_effect* effect, float* samples,
                                             int32_t frames) WAVFX_NOEXCEPT;

/* Returns the instance to the state it was created in: memories, delay lines and oscillator
 * phases start over. Returns WAVFX_OK, WAVFX_ERROR_NULL_EFFECT, or WAVFX_ERROR_NO_MEMORY when
 * fresh delay lines could not be had (the instance is then left as it was). */
WAVFX_API int32_t wavfx_effect_reset(wavfx_effect* effect) WAVFX_NOEXCEPT;

/* The channel count and sample rate the instance was created for; 0 for NULL. */
WAVFX_API uint32_t wavfx_effect_channels(const wavfx_effect* effect) WAVFX_NOEXCEPT;
WAVFX_API uint32_t wavfx_effect_sample_rate(const wavfx_effect* effect) WAVFX_NOEXCEPT;

/*
 * Applies the effect or chain in place to `frames` frames of interleaved signed 32-bit samples,
 * full scale being -2^31 to 2^31 - 1. In: x = (float)s * 2^-31 (rounded to nearest); out:
 * floor(double(x) * (2^31 - 1) + 0.5), clamped, as for 16-bit samples at their depth. Results as
 * for wavfx_effect_process.
 */
WAVFX_API int32_t wavfx_effect_process_int32(wavfx_effect* effect, int32_t* samples,
                                             int32_t frames) WAVFX_NOEXCEPT;

/* ---- Chains that change the rate, the channel count or the length ------------------------ */

/*
 * A chain with a stage that reshapes the stream (resample, speed, channels, remix, trim, pad,
 * fade) cannot work in place: the in-place calls above refuse it with WAVFX_ERROR_RESHAPES,
 * touching nothing. It runs through the flow calls instead, which take any chain:
 *
 * wavfx_effect_flow_* takes up to `in_frames` frames of the input (interleaved, at the rate and
 * channel count the instance was created for) and writes up to `out_room` frames of output (at
 * wavfx_effect_output_sample_rate and wavfx_effect_output_channels), storing the frames it
 * consumed and produced (either pointer may be NULL). Input is taken as long as the chain can
 * hold it, so a call with room enough consumes everything offered; call again with the rest
 * otherwise. At the end of the stream call wavfx_effect_flush_* until it produces 0 frames: it
 * writes what the stages still hold (a resampler's last frames, a fade-out, trailing padding).
 * The output never depends on how the stream is cut into calls or on `out_room`. Samples convert
 * as for the in-place calls; a chain whose stages only select, move or copy samples (trim, pad,
 * channels copying a mono stream, remix picking channels with unit weights, gain of 0 dB) leaves
 * every sample exactly as given. The flush ends the stream: a chain that reshapes then refuses
 * the flow calls with WAVFX_ERROR_FLUSHED, touching nothing, until wavfx_effect_reset. Returns
 * WAVFX_OK, WAVFX_ERROR_NULL_EFFECT, WAVFX_ERROR_FLUSHED, or WAVFX_ERROR_NULL_SAMPLES for a NULL
 * buffer with frames or room above 0.
 */
WAVFX_API int32_t wavfx_effect_flow_float(wavfx_effect* effect, const float* in, size_t in_frames,
                                          float* out, size_t out_room, size_t* consumed,
                                          size_t* produced) WAVFX_NOEXCEPT;
WAVFX_API int32_t wavfx_effect_flow_int16(wavfx_effect* effect, const int16_t* in, size_t in_frames,
                                          int16_t* out, size_t out_room, size_t* consumed,
                                          size_t* produced) WAVFX_NOEXCEPT;
WAVFX_API int32_t wavfx_effect_flow_int32(wavfx_effect* effect, const int32_t* in, size_t in_frames,
                                          int32_t* out, size_t out_room, size_t* consumed,
                                          size_t* produced) WAVFX_NOEXCEPT;
WAVFX_API int32_t wavfx_effect_flush_float(wavfx_effect* effect, float* out, size_t out_room,
                                           size_t* produced) WAVFX_NOEXCEPT;
WAVFX_API int32_t wavfx_effect_flush_int16(wavfx_effect* effect, int16_t* out, size_t out_room,
                                           size_t* produced) WAVFX_NOEXCEPT;
WAVFX_API int32_t wavfx_effect_flush_int32(wavfx_effect* effect, int32_t* out, size_t out_room,
                                           size_t* produced) WAVFX_NOEXCEPT;

/* The stream the instance produces; for a chain that does not reshape, the one it takes. 0 for
 * NULL. */
WAVFX_API uint32_t wavfx_effect_output_channels(const wavfx_effect* effect) WAVFX_NOEXCEPT;
WAVFX_API uint32_t wavfx_effect_output_sample_rate(const wavfx_effect* effect) WAVFX_NOEXCEPT;

/* Output frames the chain holds back until more input (or the flush) arrives: a resampler's
 * look-ahead, a fade-out's length. 0 for a chain that works in place, and for NULL. */
WAVFX_API uint64_t wavfx_effect_latency(const wavfx_effect* effect) WAVFX_NOEXCEPT;

/* 1 when the instance's chain reshapes the stream (and so needs the flow calls), else 0. */
WAVFX_API int wavfx_effect_reshapes(const wavfx_effect* effect) WAVFX_NOEXCEPT;

/* 0 once no further input can change the output (a trim past its kept part): the flow calls then
 * take all input offered without running it, and the caller may stop reading and flush. 1
 * otherwise, and for a chain that does not reshape; 0 for NULL. */
WAVFX_API int wavfx_effect_wants_input(const wavfx_effect* effect) WAVFX_NOEXCEPT;

/* Options of wavfx_process_file; zero-filled options are the defaults. */
typedef struct wavfx_file_options {
  double tail_seconds; /* silence fed through the chain after the input, 0 to 3600 */
  const char* format;  /* output container ("wav", "flac", ...); NULL: from the output's name */
  const char* bits; /* output samples ("8", "16", "24", "32", "float", "double"); NULL: input's */
} wavfx_file_options;

#define WAVFX_JOB_COMPLETE 0
#define WAVFX_JOB_NOT_STARTED 1
#define WAVFX_JOB_READ_FAILED 2
#define WAVFX_JOB_WRITE_FAILED 3
#define WAVFX_JOB_FRAMES_TOO_WIDE 4

/* What wavfx_process_file did. */
typedef struct wavfx_file_result {
  int32_t outcome;     /* one of WAVFX_JOB_ */
  uint64_t frames;     /* frames written, tail included */
  uint64_t clipped;    /* samples clamped on the way to an integer output */
  uint64_t non_finite; /* NaN and infinite input samples, read as 0 */
  char message[512];   /* why the job did not complete, one line; empty when it did */
} wavfx_file_result;

/*
 * Runs `chain` (a chain's text or a plain effect name; an unknown plain name copies) from the
 * file `input` to the file `output`, as the command line's batch runs one of its files: a 16-bit
 * PCM WAV input with a WAV output takes WAVEffect's strict path, every other format the general
 * path at its native precision. The output is written under a hidden temporary name beside it
 * and renamed into place when the job ends; a job killed or failing to write leaves the old file.
 * Prints nothing. Returns the outcome, also stored in `result` when it is not NULL; a chain that
 * is refused gives WAVFX_JOB_NOT_STARTED and its message.
 */
WAVFX_API int32_t wavfx_process_file(const char* input, const char* output, const char* chain,
                                     const wavfx_file_options* options,
                                     wavfx_file_result* result) WAVFX_NOEXCEPT;

/*
 * Stages that act on the whole stream (norm, loudnorm) read a measurement of their input from
 * their parameters; wavfx_chain_create refuses them (WAVFX_ERROR_NEEDS_MEASUREMENT) until it is
 * given. This call measures it: each such stage's input is `samples` (all `frames` frames of the
 * stream, interleaved floats) run through the stages before it, one pass each, measured as the
 * meter below measures. It writes the chain's text with those measurements given (every
 * parameter written out) to `text`, room for `room` bytes with the terminator, and returns the
 * text's full length (write nothing with room 0 to learn it), or 0 with `error` filled.
 */
WAVFX_API size_t wavfx_chain_measure(const char* chain, uint32_t channels, uint32_t sample_rate,
                                     const float* samples, size_t frames, char* text, size_t room,
                                     wavfx_error* error) WAVFX_NOEXCEPT;

/*
 * Loudness and statistics. A meter takes interleaved frames in blocks of any size (the results do
 * not depend on the cut) and reports, at any time, what it has measured so far:
 * - loudness after ITU-R BS.1770-4 and EBU R128: each channel K-weighted (the standard's shelf
 *   and high-pass, designed for the stream's rate) in double precision, squares summed over
 *   sub-blocks of 100 ms (sub-block k: frames floor(k rate / 10) to floor((k + 1) rate / 10)),
 *   channels weighted (1; 1.41 for surrounds; 0 for the LFE) and summed in order. Momentary
 *   loudness is the mean square of the last 4 sub-blocks, short-term that of the last 30, taken
 *   after every sub-block, as -0.691 + 10 log10(mean square) LUFS. Integrated loudness gates the
 *   momentary blocks at -70 LUFS and at 10 LU below the mean of those that pass; the loudness range
 *   (EBU Tech 3342) gates the short-term values at -70 LUFS and 20 LU below their mean and is the
 *   95th less the 10th percentile of the rest (the sorted value at round((n - 1) p)).
 * - per channel and over all channels, what SoX's `stats` reports: DC offset (mean), minimum,
 *   maximum, peak and RMS levels in dBFS, crest factor (peak / RMS), the samples at full scale
 *   (either end of the integer range, or |x| >= 1 for floats), and the bit depth used (the depth
 *   less the trailing zero bits common to every sample; -1 for floats). Sums in double, in order.
 * - the true peak of each channel and over all: the largest magnitude of the BS.1770-4 Annex 2
 *   interpolator's four phases (its 48-tap filter, 12 taps a phase, summed in single precision in
 *   tap order), in dBTP.
 * Integer samples enter as s * 2^(1 - bits) exactly; NaN and infinite floats as 0, counted.
 * Loudness with nothing to gate (silence, or less than 400 ms) is -INFINITY.
 */
typedef struct wavfx_meter wavfx_meter;

typedef struct wavfx_channel_stats {
  double dc_offset;
  double minimum;
  double maximum;
  double peak_dbfs;      /* sample peak; -INFINITY when silent */
  double true_peak_dbtp; /* BS.1770-4 Annex 2 (4x oversampling, 48 taps); -INFINITY when silent */
  double rms_dbfs;       /* -INFINITY when silent */
  double crest_factor;   /* peak / RMS; 0 when silent */
  uint64_t full_scale;
  int32_t bit_depth; /* bits used; -1 for float samples */
} wavfx_channel_stats;

typedef struct wavfx_meter_results {
  uint64_t frames;
  uint64_t non_finite;
  double integrated_lufs;
  double momentary_max_lufs;
  double short_term_max_lufs;
  double loudness_range_lu;
  wavfx_channel_stats overall;
} wavfx_meter_results;

/* A meter for `channels` channels at `sample_rate`; `weights` gives each channel's loudness weight,
 * or NULL for 1 on every channel except five (L R C Ls Rs) and six (L R C LFE Ls Rs) channels.
 * NULL on a zero channel count or rate, or without memory. */
WAVFX_API wavfx_meter* wavfx_meter_create(uint32_t channels, uint32_t sample_rate,
                                          const double* weights) WAVFX_NOEXCEPT;
WAVFX_API void wavfx_meter_destroy(wavfx_meter* meter) WAVFX_NOEXCEPT;
/* Feed frames: floats in full scale -1..1, 16-bit samples, or 32-bit integers of `bits` bits
 * (8 to 32; 24-bit samples by value, not shifted). WAVFX_OK, or a negative WAVFX_ERROR_. */
WAVFX_API int32_t wavfx_meter_add_float(wavfx_meter* meter, const float* samples,
                                        size_t frames) WAVFX_NOEXCEPT;
WAVFX_API int32_t wavfx_meter_add_int16(wavfx_meter* meter, const int16_t* samples,
                                        size_t frames) WAVFX_NOEXCEPT;
WAVFX_API int32_t wavfx_meter_add_int32(wavfx_meter* meter, const int32_t* samples, size_t frames,
                                        int32_t bits) WAVFX_NOEXCEPT;
WAVFX_API int32_t wavfx_meter_results_get(const wavfx_meter* meter,
                                          wavfx_meter_results* results) WAVFX_NOEXCEPT;
WAVFX_API int32_t wavfx_meter_channel_stats(const wavfx_meter* meter, uint32_t channel,
                                            wavfx_channel_stats* stats) WAVFX_NOEXCEPT;
/* The loudness history, one value every 100 ms in LUFS (-INFINITY for silence): momentary when
 * `short_term` is 0, else short-term. Copies up to `room` values from the `first`th and returns
 * how many there are in all. */
WAVFX_API size_t wavfx_meter_history(const wavfx_meter* meter, int short_term, size_t first,
                                     double* values, size_t room) WAVFX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif

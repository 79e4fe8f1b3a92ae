#pragma once

#include <cstdint>

#include "effects/family.h"

namespace wavfx {

// Each output channel a weighted sum of input channels, from a map such as "2|1" (swap),
// "0.5*1+0.5*2" (a mono mix) or "1|1|2|2": outputs separated by '|', an output's terms by '+',
// a term "weight*channel" or "channel" (weight 1) with channels from 1; an output "0" is
// silence. Weights are read as floats (the nearest to their text) and must be finite. An output
// is w1 * x1, then + w2 * x2 and so on in the order written, each product rounded to single
// precision before its addition. An empty map keeps the stream as it is.
//
// The text is at most kMaxStageText - 1 characters, and each term takes at least two (itself
// and a separator, bar the last): the map fits in a fixed record.
constexpr uint32_t kMaxRemixTerms = kMaxStageText / 2;

struct RemixTerm {
  uint32_t channel;  // from 0
  float weight;
};

struct RemixMap {
  RemixTerm terms[kMaxRemixTerms];
  uint16_t ends[kMaxRemixTerms];  // output o's terms run from ends[o - 1] (0 for o = 0) to ends[o]
  uint32_t outputs;               // 0: the map is empty
  uint32_t highestChannel;        // from 1; 0 when no term names one
};

// Reads `text`: false, with the reason, for a map that breaks the syntax above.
bool ParseRemixMap(const char* text, RemixMap& map, std::string& problem);

struct RemixState {
  RemixMap map;
  uint32_t inChannels;
  bool copies;    // every output one term of weight 1, or silence
  bool identity;  // and output o is input channel o, for every channel
};

extern const EffectFamily kRemixFamily;

}  // namespace wavfx

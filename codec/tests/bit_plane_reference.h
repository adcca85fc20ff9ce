// A plain transcription of the plane code's decoding rules, one bit and one value at a time, with
// every field bounded by the code it belongs to. The block decoder must agree with it on every
// input: the same values, or a refusal (ErrorWrongFormat) where it refuses.
#pragma once

#include <cstdint>
#include <vector>

std::vector<std::int32_t> ReferenceDecodeBlock(const std::vector<std::uint32_t>& code,
                                               std::uint16_t header);

#pragma once
// Realistic data for the benchmarks, built deterministically so runs compare.

#include <cstddef>

#include "vlt/packet.h"

// A goods list of `rows` rows and 15 columns as the goods window loads it: codes, mixed
// Chinese and ASCII names, prices, stock, a stop flag, a creation time and an optional remark.
vlt::Packet makeGoodsPacket(std::size_t rows);

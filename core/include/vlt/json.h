#pragma once
// The JSON codec of packets and deltas.
//
// Packet:  {"fields":[{"name":"ID","type":"string","size":15}, ...],
//           "rows":[["1","Sugar 1kg","12.50",null], ...]}
// Delta:   {"fields":[...],
//           "changes":[{"kind":"insert","new":[...]},
//                      {"kind":"modify","old":[...],"new":[...]},
//                      {"kind":"delete","old":[...]},
//                      {"kind":"modify","old":[...],"new":[...],
//                       "details":{"Lines":[{"kind":"insert","new":[...]}]}}]}
//
// Field definition members: "name", "type" (dataTypeName), optional "size", "precision",
// "scale", "required", "kind" ("internalcalc"/"aggregate"), "expression", "label", and
// "fields" for a nested data set. Values: null, true/false, integers as numbers, floats as
// numbers, decimals as strings, strings, dates "YYYY-MM-DD", date-times "YYYY-MM-DD HH:MM:SS",
// times "HH:MM:SS", nested rows as an array of rows. "fields" must precede "rows"/"changes".
// Text is UTF-8 and is written as such; only control characters, quote and backslash are
// escaped.

#include <string>
#include <string_view>

#include "vlt/packet.h"

namespace vlt {

std::string encodePacket(const Packet& packet);
void appendPacket(std::string& out, const Packet& packet);
// Throws ParseError (with the byte offset) for malformed JSON and for rows that do not match
// the field definitions (naming the row and field). Nothing is returned partially.
Packet decodePacket(std::string_view json);

std::string encodeDelta(const Delta& delta);
void appendDelta(std::string& out, const Delta& delta);
Delta decodeDelta(std::string_view json);

// A string as a JSON string literal (with quotes), for other layers that build JSON.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace vlt

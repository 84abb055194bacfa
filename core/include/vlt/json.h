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

#include <cstddef>
#include <memory>
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

// Writes a packet row by row from the cells of a SQL server's text protocol, without typed
// values in between, so that a large result can be sent while it is still being read. The text
// is the one encodePacket writes for the values the cells stand for: integers, floats and
// decimals read from their text, dates, times and date-times likewise, and zero or unreadable
// dates, times and decimals as null.
class PacketWriter {
 public:
  // Starts with the field definitions. Throws DataSetError for definitions encodePacket refuses
  // and for boolean and nested fields, which have no text form here.
  explicit PacketWriter(const FieldDefs& fields);
  // A packet whose last field is a nested data set (a bill's lines): each row gives that
  // field's value as the text a NestedRowsWriter made. Its children may be neither boolean
  // nor nested.
  struct NestedLast {};
  PacketWriter(const FieldDefs& fields, NestedLast);
  ~PacketWriter();
  PacketWriter(const PacketWriter&) = delete;
  PacketWriter& operator=(const PacketWriter&) = delete;

  // One row: cells[i] holds lengths[i] bytes of field i's text, or is null for a null. Throws
  // DataSetError naming the row and field (a value the field cannot hold, invalid UTF-8); the
  // row is then left out of the text.
  void row(const char* const* cells, const unsigned long* lengths);
  // A row of a packet with a nested last field: cells for the other fields, then the text of
  // the nested rows (empty for none).
  void row(const char* const* cells, const unsigned long* lengths, std::string_view nestedRows);
  // Closes the rows and the packet; no row may follow.
  void finish();

  std::size_t rowCount() const;
  // Bytes written and not yet taken.
  std::size_t pending() const;
  // Hands over the text written since the last take.
  std::string take();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Writes rows of cells, as PacketWriter does, into the values of a nested field, one list per
// group (the lines of each bill of a page), in the order they come.
class NestedRowsWriter {
 public:
  // Throws DataSetError for boolean and nested fields.
  NestedRowsWriter(const FieldDefs& fields, std::size_t groups);
  ~NestedRowsWriter();
  NestedRowsWriter(const NestedRowsWriter&) = delete;
  NestedRowsWriter& operator=(const NestedRowsWriter&) = delete;

  // Throws DataSetError as PacketWriter::row does; the row is then left out.
  void row(std::size_t group, const char* const* cells, const unsigned long* lengths);
  // A group's rows as the nested field's text, "[]" for none; the group is emptied.
  std::string take(std::size_t group);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Decodes a packet from text that arrives in pieces (a network stream): rows are decoded as
// their text completes, so that decoding overlaps the transfer. The packet and the errors are
// those of decodePacket over the whole text; nothing is returned for a text that ends early.
class PacketReader {
 public:
  // Decoding is tried whenever `attemptEvery` more bytes have come (tests and fuzzing try
  // small steps).
  explicit PacketReader(std::size_t attemptEvery = 64 * 1024);
  // Hands the fields and each row to `sink` as soon as they are decoded; finish() then returns
  // the fields only. What the sink throws ends the reading.
  explicit PacketReader(PacketSink& sink, std::size_t attemptEvery = 64 * 1024);
  ~PacketReader();
  PacketReader(const PacketReader&) = delete;
  PacketReader& operator=(const PacketReader&) = delete;

  void feed(std::string_view piece);
  // After the last piece: the packet. Throws ParseError (offsets within the packet's text) for
  // malformed text and for text that ended before the packet did. With `rest`, the text after
  // the packet's closing brace is put there; without, only white space may follow it.
  Packet finish(std::string* rest = nullptr);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vlt

#include "cli/output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>

#include "cli/terminal_text.h"

namespace nimbrel::cli {

namespace {

using Row = std::vector<std::string>;

// Display width of a cell: every cell is ASCII but the "№" heading.
std::size_t Width(const std::string& cell) {
  return static_cast<std::size_t>(std::count_if(cell.begin(), cell.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;  // count UTF-8 lead bytes only
  }));
}

void WriteTable(std::ostream& out, const std::vector<Row>& rows) {
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - Width(row[c]) + 2, ' ');
    }
    out << line << '\n';
  }
}

// RFC 4180: a field with a comma, quote or line break is quoted, quotes
// doubled. The fields are escaped already, so no line break remains.
std::string CsvField(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (const char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void WriteCsv(std::ostream& out, const std::vector<Row>& rows) {
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) line += ',';
      line += CsvField(row[c]);
    }
    out << line << '\n';
  }
}

void WriteJson(std::ostream& out, const nlohmann::ordered_json& value) {
  // ASCII only: every other character is written as \uXXXX.
  out << value.dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

struct StationTexts {
  std::string id_bytes;  // the four identifier bytes as they came
  std::string ip, gateway, netmask, dns, mac;
};

StationTexts TextsOf(const Announcement& station) {
  const AnnouncementTexts texts = FormatAnnouncement(station);
  return {std::string(station.id.begin(), station.id.end()), AsciiFromUtf16(texts.ip),
          AsciiFromUtf16(texts.gateway), AsciiFromUtf16(texts.netmask), AsciiFromUtf16(texts.dns),
          AsciiFromUtf16(texts.mac)};
}

}  // namespace

std::string MacText(const MacBytes& mac) { return AsciiFromUtf16(FormatMac(mac)); }

std::string DescribeSettings(const IPv4Bytes& ip, const IPv4Bytes& netmask, const IPv4Bytes& gateway,
                             const IPv4Bytes& dns) {
  return "IP " + AsciiFromUtf16(FormatIPv4(ip)) + ", mask " + AsciiFromUtf16(FormatIPv4(netmask)) + ", gateway " +
         AsciiFromUtf16(FormatIPv4(gateway)) + ", DNS " + AsciiFromUtf16(FormatIPv4(dns));
}

void WriteStations(std::ostream& out, const std::vector<Announcement>& stations, Format format) {
  if (format == Format::json) {
    auto list = nlohmann::ordered_json::array();
    for (const auto& station : stations) {
      const StationTexts texts = TextsOf(station);
      // Each identifier byte is the character of that code, as the program shows it.
      list.push_back({{"id", Utf8FromLatin1(texts.id_bytes)},
                      {"ip", texts.ip},
                      {"gateway", texts.gateway},
                      {"netmask", texts.netmask},
                      {"dns", texts.dns},
                      {"mac", texts.mac}});
    }
    WriteJson(out, list);
    return;
  }
  std::vector<Row> rows;
  if (format == Format::csv) {
    rows.push_back({"id", "ip", "gateway", "netmask", "dns", "mac"});
  } else {
    rows.push_back({"\u2116", "ID", "IP", "Gateway", "NetMask", "DNS", "MAC Addr"});
  }
  std::size_t number = 0;
  for (const auto& station : stations) {
    const StationTexts texts = TextsOf(station);
    Row row{EscapeBytes(texts.id_bytes), texts.ip, texts.gateway, texts.netmask, texts.dns, texts.mac};
    if (format == Format::table) row.insert(row.begin(), std::to_string(++number));
    rows.push_back(std::move(row));
  }
  if (format == Format::csv) {
    WriteCsv(out, rows);
  } else {
    WriteTable(out, rows);
  }
}

void WriteAdapters(std::ostream& out, const std::vector<HostAdapter>& adapters, bool json) {
  if (json) {
    auto list = nlohmann::ordered_json::array();
    for (const auto& adapter : adapters)
      list.push_back({{"description", adapter.description},
                      {"ip", adapter.ip},
                      {"netmask", adapter.netmask},
                      {"gateway", adapter.gateway}});
    WriteJson(out, list);
    return;
  }
  std::vector<Row> rows{{"Description", "IP", "NetMask", "Gateway"}};
  for (const auto& adapter : adapters)
    rows.push_back({EscapeBytes(adapter.description), EscapeBytes(adapter.ip), EscapeBytes(adapter.netmask),
                    EscapeBytes(adapter.gateway)});
  WriteTable(out, rows);
}

void WriteAnswer(std::ostream& out, std::span<const std::uint8_t> answer) {
  out << "hex: " << HexBytes(answer) << '\n'
      << "text: " << EscapeBytes(std::string_view(reinterpret_cast<const char*>(answer.data()), answer.size()))
      << '\n';
}

}  // namespace nimbrel::cli

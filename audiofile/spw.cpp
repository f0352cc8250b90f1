// SPW signal files: a text header of lines in "$" sections, then the samples
// of one signal (16-bit fixed point or doubles, big-endian).
#include "formats.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string_view>

namespace {

// Longest line kept, newline included; the rest of a longer line is read
// and dropped.
constexpr size_t SPW_LINE_MAX = 254;
// The comment line the writer emits is one the reader keeps whole, so that a
// header read back and written again has the same length.
constexpr size_t SPW_COMMENT_MAX = SPW_LINE_MAX - 1;
static_assert(SPW_LINE_MAX < sizeof(audio_header::comment));

// "Number of points" stays within its 11-character field, so that a rewrite
// never changes the header's length.
constexpr long long SPW_POINTS_MAX = 99999999999LL;
constexpr long long SPW_POINTS_MIN = -9999999999LL;

struct spw_line {
    std::array<char, SPW_LINE_MAX> text{};
    size_t length = 0;
    std::string_view view() const { return {text.data(), length}; }
};

// Continues line from its current length up to a newline, end of file or
// SPW_LINE_MAX characters; the remainder of a longer line is consumed.
// Returns false when nothing at all was read.
bool read_line_rest(FILE* stream, spw_line& line, uint64_t& consumed)
{
    const size_t start = line.length;
    int c = 0;
    while (line.length < SPW_LINE_MAX && (c = read_audio_byte(stream)) != EOF) {
        ++consumed;
        line.text[line.length++] = static_cast<char>(c);
        if (c == '\n')
            return true;
    }
    if (line.length == SPW_LINE_MAX) {
        while ((c = read_audio_byte(stream)) != EOF) {
            ++consumed;
            if (c == '\n')
                break;
        }
    }
    return line.length > start;
}

bool read_line(FILE* stream, spw_line& line, uint64_t& consumed)
{
    line.length = 0;
    return read_line_rest(stream, line, consumed);
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The first token at or after from, delimited by blanks and tabs; a newline
// belongs to the token it follows.
std::string_view first_token(std::string_view text, size_t from = 0)
{
    size_t begin = from;
    while (begin < text.size() && is_blank(text[begin]))
        ++begin;
    size_t end = begin;
    while (end < text.size() && !is_blank(text[end]))
        ++end;
    return text.substr(begin, end - begin);
}

// The decimal integer at the start of text (optional sign, digits),
// saturating at the given limits; 0 without digits.
int64_t leading_int(std::string_view text, int64_t lo, int64_t hi)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // The limits lie far below 2^40, which also keeps value * 10 + 9 in range.
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 40);
    if (negative)
        value = -value;
    return std::clamp<int64_t>(value, lo, hi);
}

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

struct spw_values {
    int32_t sfreq;
    int64_t frames;
    int32_t type;
};

// Acts on one key line; 0, or SPW_BROKEN for a value the format rules out.
int read_key_line(std::string_view line, spw_values& values)
{
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return 0;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = first_token(line, equals + 1);
    if (value.empty() || value == "\n")
        return 0;  // no value: nothing to take from the line
    if (contains(key, "Sampling Frequency")) {
        values.sfreq = static_cast<int32_t>(leading_int(value, INT32_MIN, INT32_MAX));
    } else if (contains(key, "Number of points")) {
        values.frames = leading_int(value, SPW_POINTS_MIN, SPW_POINTS_MAX);
    } else if (contains(key, "Signal Type")) {
        if (value == "Fixedpoint\n" || value == "Integer\n")
            values.type = AUDIO_SPW;
        else if (value == "Double\n" || value == "Float\n")
            values.type = AUDIO_SPW_D;
        else
            return SPW_BROKEN;
    } else if (contains(key, "Fixed Point Format")) {
        if (value != "<16,15,t>\n")
            return SPW_BROKEN;
    }
    return 0;
}

}  // namespace

int read_spw_header(FILE* stream, audio_header* header)
{
    const auto recorded = static_cast<size_t>(std::clamp(probe_fill, 0, PROBE_SIZE));
    const std::string_view probe(reinterpret_cast<const char*>(probe_bytes), recorded);
    if (!contains(probe, "$SIG"))
        return SPW_NOT_MINE;

    // The first line: what the readers before consumed, then its rest from
    // the stream (which the probe record does not keep).
    uint64_t consumed = recorded;
    spw_line line;
    const size_t newline = probe.find('\n');
    const std::string_view start = probe.substr(0, newline == std::string_view::npos ? probe.size() : newline + 1);
    line.length = std::min(start.size(), SPW_LINE_MAX);
    std::memcpy(line.text.data(), start.data(), line.length);
    if (newline == std::string_view::npos)
        read_line_rest(stream, line, consumed);
    const std::string_view first = line.view();
    const std::string_view token = first_token(first);
    const size_t after = static_cast<size_t>(token.data() - first.data()) + token.size();
    if (token != "$SIGNAL_FILE" || after >= first.size())
        return SPW_NOT_MINE;  // "$SIGNAL_FILE" must be followed by a blank or tab

    // Without a "Signal Type" line the record's SPW type stands; any other
    // type would decode the samples with another family's codec.
    spw_values values{header->sfreq, 0,
                      header->type == AUDIO_SPW || header->type == AUDIO_SPW_D ? header->type : AUDIO_SPW};
    std::array<char, sizeof(audio_header::comment)> comment{};
    std::memcpy(comment.data(), header->comment, comment.size());
    comment.back() = '\0';

    while (read_line(stream, line, consumed)) {
        const std::string_view text = line.view();
        if (text == "$USER_COMMENT\n") {
            spw_line next;
            const bool got = read_line(stream, next, consumed);
            std::memcpy(comment.data(), next.text.data(), next.length);
            comment[next.length] = '\0';
            if (!got)
                break;
        } else if (text == "$DATA ASCII\n") {
            return SPW_BROKEN;
        } else if (text == "$DATA BINARY\n" || text == "$DATA\n") {
            break;
        } else if (text[0] == '$') {
            continue;  // section lines
        } else if (read_key_line(text, values) != 0) {
            return SPW_BROKEN;
        }
    }
    if (consumed > static_cast<uint64_t>(INT32_MAX)) {
        std::fprintf(stderr, "spw: samples begin beyond 2 GiB\n");
        return SPW_BROKEN;
    }

    header->sfreq = values.sfreq;
    header->type = values.type;
    std::memcpy(header->comment, comment.data(), comment.size());
    header->data_offset = static_cast<int32_t>(consumed);
    header->channels = 1;
    // A header written to a pipe says 0 points, as the other families' do;
    // the data then tell how many there are.
    take_frame_count(stream, header, values.frames);
    set_reader_defaults(header);
    return 0;
}

void write_spw_header(FILE* stream, const audio_header* header)
{
    // The comment's first line only, cut to what the reader keeps: the
    // header then reads back as it was written.
    const size_t length = strnlen(header->comment, sizeof header->comment - 1);
    const std::string_view comment(header->comment, length);
    const size_t first_line = std::min(comment.find('\n'), SPW_COMMENT_MAX);
    const auto points = static_cast<long long>(
        std::min<uint64_t>(data_bytes(header->frames, 1, header->channels), SPW_POINTS_MAX));

    std::fprintf(stream, "$SIGNAL_FILE 9\n");
    std::fprintf(stream, "$USER_COMMENT\n");
    std::fprintf(stream, "%.*s\n", static_cast<int>(first_line), header->comment);
    std::fprintf(stream, "$COMMON_INFO\n");
    std::fprintf(stream, "SPW Version = 3.00\n");
    std::fprintf(stream, "System Type = sun4\n");
    std::fprintf(stream, "Sampling Frequency = %7d\n", header->sfreq);
    std::fprintf(stream, "Starting Time = 0\n");
    std::fprintf(stream, "$DATA_INFO\n");
    std::fprintf(stream, "Number of points = %11lld\n", points);
    if (header->type == AUDIO_SPW_D) {
        std::fprintf(stream, "Signal Type = Double\n");
    } else {
        std::fprintf(stream, "Signal Type = Fixedpoint\n");
        std::fprintf(stream, "Fixed Point Format = <16,15,t>\n");
    }
    std::fprintf(stream, "$DATA\n");
}

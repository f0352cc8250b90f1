// The header record's operations and the table of type codes.
#include "audiofile.h"
#include "formats.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

struct type_name {
    const char* name;
    int type;
};

// Every name get_audio_type accepts; the bare family names mean 16 bits.
constexpr std::array<type_name, 27> type_names{{
    {"ils", AUDIO_ILS},         {"ils_f", AUDIO_ILS_F},       {"ils_d", AUDIO_ILS_D},
    {"aiff", AUDIO_AIFF_16},    {"aiff_8", AUDIO_AIFF_8},     {"aiff_16", AUDIO_AIFF_16},
    {"aiff_24", AUDIO_AIFF_24}, {"aiff_32", AUDIO_AIFF_32},   {"aifc", AUDIO_AIFC_16},
    {"aifc_8", AUDIO_AIFC_8},   {"aifc_16", AUDIO_AIFC_16},   {"aifc_24", AUDIO_AIFC_24},
    {"aifc_32", AUDIO_AIFC_32}, {"spw", AUDIO_SPW},           {"spw_d", AUDIO_SPW_D},
    {"wave", AUDIO_WAVE_16},    {"wave_8", AUDIO_WAVE_8},     {"wave_16", AUDIO_WAVE_16},
    {"wave_24", AUDIO_WAVE_24}, {"wave_32", AUDIO_WAVE_32},   {"sun", AUDIO_SUN_16},
    {"sun_8", AUDIO_SUN_8},     {"sun_16", AUDIO_SUN_16},     {"sun_24", AUDIO_SUN_24},
    {"sun_32", AUDIO_SUN_32},   {"sun_f", AUDIO_SUN_F},       {"sun_d", AUDIO_SUN_D},
}};

// Sample width in bits by code; the family codes count as 16.
constexpr std::array<int, AUDIO_TYPE_COUNT> type_bits{
    16, 16, 8, 16, 24, 32, 16, 8, 16, 24, 32, 16, 64, 32, 64, 16, 8, 16, 24, 32, 16, 8, 16, 24, 32, 32, 64,
};

}  // namespace

int get_type_bits(int type)
{
    const auto code = static_cast<unsigned>(type);  // negative codes fall outside too
    return code < type_bits.size() ? type_bits[code] : 0;
}

int get_audio_type(const char* name, int deflt)
{
    if (name == nullptr)
        return deflt;
    for (const auto& entry : type_names)
        if (std::strcmp(name, entry.name) == 0)
            return entry.type;
    return deflt;
}

int init_audio_header(audio_header* header)
{
    header->channels = 2;
    header->sfreq = 48000;
    header->frames = 0;
    header->comment[0] = '\0';
    set_reader_defaults(header);  // the ILS fields a file of another family carries
    header->type = AUDIO_WAVE_16;
    header->data_offset = 0;
    return 0;
}

int copy_audio_header(audio_header* dest, const audio_header* source)
{
    dest->channels = source->channels;
    dest->sfreq = source->sfreq;
    dest->frames = source->frames;
    dest->ils_blocks = source->ils_blocks;
    dest->ils_value35 = source->ils_value35;
    dest->ils_value37 = source->ils_value37;
    dest->ils_marker = source->ils_marker;
    dest->ils_word63 = source->ils_word63;
    dest->ils_word64 = source->ils_word64;
    dest->ils_byte65 = source->ils_byte65;
    dest->ils_half65 = source->ils_half65;
    dest->type = source->type;
    // The source may come from a reader that stored an unterminated text in
    // error; never copy past the field.
    std::memcpy(dest->comment, source->comment, sizeof dest->comment);
    dest->comment[sizeof dest->comment - 1] = '\0';
    return 0;
}

void print_audio_types()
{
    std::printf("The currently supported audiofile types are:\n");
    std::printf("ILS formats: ils, ils_f, ils_d\n");
    std::printf("AIF formats: aiff (aiff_16), aiff_8, aiff_16, aiff_24, aiff_32\n");
    std::printf("AFC formats: aifc (aifc_16), aifc_8, aifc_16, aifc_24, aifc_32\n");
    std::printf("WAV formats: wave (wave_16), wave_8, wave_16, wave_24, wave_32\n");
    std::printf("SUN formats: sun   (sun_16),  sun_8,  sun_16,  sun_24,  sun_32\n");
    std::printf("SUN formats: sun_f, sun_d\n");
}

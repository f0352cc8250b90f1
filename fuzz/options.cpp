// The option scanner on arbitrary argument vectors, alone and inside each
// program's option function.
//
// Input: one settings byte, then the elements separated by NUL bytes.  Bits
// 0-2 of the settings byte pick the scanner (0: get_option alone, taking
// the first element as the option letters; 1-7: a program's options), bit 3
// sets option_errors, bits 4-5 the switch character.
#include "fuzz_support.h"
#include "option.h"

#include <cstring>
#include <string>
#include <vector>

#ifdef FUZZ_HAVE_SONOMORPH
#include "sonomorph.h"
#endif
#ifdef FUZZ_HAVE_TONESMITH
#include "tonesmith.h"
#endif
#ifdef FUZZ_HAVE_PCMWRAP
#include "pcmwrap.h"
#endif
#ifdef FUZZ_HAVE_PCMPEEL
#include "pcmpeel.h"
#endif
#ifdef FUZZ_HAVE_BURSTPICK
#include "burstpick.h"
#endif
#ifdef FUZZ_HAVE_FRAMESNIP
#include "framesnip.h"
#endif
#ifdef FUZZ_HAVE_CHUNKSNIP
#include "chunksnip.h"
#endif

namespace {

using program_options = int (*)(int, char**);

template <class Settings, int (*scan)(int, char**, Settings&)>
int run_program_options(int argc, char** argv)
{
    Settings settings;
    return scan(argc, argv, settings);
}

// Slot 0 is get_option alone; a program that is not built leaves its slot
// empty and the input falls back to get_option.
const program_options programs[8] = {
    nullptr,
#ifdef FUZZ_HAVE_SONOMORPH
    run_program_options<sonomorph_settings, sonomorph_options>,
#else
    nullptr,
#endif
#ifdef FUZZ_HAVE_TONESMITH
    run_program_options<tonesmith_settings, tonesmith_options>,
#else
    nullptr,
#endif
#ifdef FUZZ_HAVE_PCMWRAP
    run_program_options<pcmwrap_settings, pcmwrap_options>,
#else
    nullptr,
#endif
#ifdef FUZZ_HAVE_PCMPEEL
    run_program_options<pcmpeel_settings, pcmpeel_options>,
#else
    nullptr,
#endif
#ifdef FUZZ_HAVE_BURSTPICK
    run_program_options<burstpick_settings, burstpick_options>,
#else
    nullptr,
#endif
#ifdef FUZZ_HAVE_FRAMESNIP
    run_program_options<framesnip_settings, framesnip_options>,
#else
    nullptr,
#endif
#ifdef FUZZ_HAVE_CHUNKSNIP
    run_program_options<chunksnip_settings, chunksnip_options>,
#else
    nullptr,
#endif
};

constexpr char switches[4] = {'-', '-', '+', '/'};

// Whether p points into one of the elements (an option's argument must).
bool inside_elements(const char* p, const std::vector<std::string>& elements)
{
    for (const std::string& e : elements)
        if (p >= e.data() && p <= e.data() + e.size())
            return true;
    return false;
}

void scan_alone(const std::string& letters, std::vector<std::string>& elements, std::vector<char*>& argv)
{
    const int argc = static_cast<int>(argv.size()) - 1;
    size_t budget = static_cast<size_t>(argc) + 2;  // every call consumes a letter or an element
    for (const std::string& e : elements)
        budget += e.size();
    int c = 0;
    while ((c = get_option(argc, argv.data(), letters.c_str())) != -1) {
        FUZZ_CHECK(budget-- > 0);
        FUZZ_CHECK(c >= 1 && c <= 255);
        if (c == '?' && option_argument == nullptr)
            continue;
        FUZZ_CHECK(c != ':');
        const char* letter = std::strchr(letters.c_str(), c);
        FUZZ_CHECK(letter != nullptr);
        if (letter[1] == ':') {
            FUZZ_CHECK(option_argument != nullptr);
            FUZZ_CHECK(inside_elements(option_argument, elements));
        }
        FUZZ_CHECK(option_index >= 1 && option_index <= argc);
    }
    FUZZ_CHECK((option_index >= 1 && option_index <= argc) || argc == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silence_standard_streams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    byte_cursor cursor{data, size};
    const uint8_t settings = cursor.next();
    std::vector<std::string> elements(1);
    for (size_t i = 0; i < cursor.size; ++i) {
        if (cursor.data[i] == 0)
            elements.emplace_back();
        else
            elements.back().push_back(static_cast<char>(cursor.data[i]));
    }

    const program_options program = programs[settings & 7];
    std::string letters;
    if (program == nullptr) {
        letters = elements.front();
        elements.erase(elements.begin());
    }
    // A program's elements begin with its name, as main receives them.
    std::vector<char*> argv;
    for (std::string& e : elements)
        argv.push_back(e.data());
    argv.push_back(nullptr);

    reset_option_scanner();
    option_errors = (settings >> 3) & 1;
    option_switch = switches[(settings >> 4) & 3];
    if (program == nullptr) {
        scan_alone(letters, elements, argv);
    } else {
        const int status = program(static_cast<int>(argv.size()) - 1, argv.data());
        FUZZ_CHECK(status >= -1 && status <= 255);
    }
    reset_option_scanner();
    return 0;
}

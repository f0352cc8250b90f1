#include "option.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int option_index = 1;
const char* option_argument = nullptr;
const char* option_cursor = nullptr;
int option_errors = 1;
char option_switch = '-';

namespace {

int end_of_options()
{
    option_cursor = nullptr;
    option_argument = nullptr;
    return -1;
}

int option_error()
{
    option_argument = nullptr;
    errno = EINVAL;
    if (option_errors)
        std::perror("get command line option");
    return '?';
}

}  // namespace

int get_option(int count, char* const elements[], const char* spec)
{
    if (option_index >= count)
        return end_of_options();

    if (option_cursor == nullptr) {
        const char* element = elements[option_index];
        if (element == nullptr || element[0] != option_switch)
            return end_of_options();
        if (element[1] == option_switch) {
            ++option_index;  // "--..." is consumed; what follows are operands
            return end_of_options();
        }
        option_cursor = element + 1;
    }

    const unsigned char c = static_cast<unsigned char>(*option_cursor++);
    if (c == '\0') {
        ++option_index;  // a lone "-" is consumed and ends the scan
        return end_of_options();
    }

    const char* letter = (c == ':') ? nullptr : std::strchr(spec, c);
    if (letter == nullptr)
        return option_error();

    if (letter[1] == ':') {
        ++option_index;
        if (*option_cursor != '\0') {
            option_argument = option_cursor;
        } else if (option_index < count) {
            option_argument = elements[option_index];
            ++option_index;
        } else {
            option_cursor = nullptr;
            return option_error();
        }
        option_cursor = nullptr;
        return c;
    }

    if (*option_cursor == '\0') {
        ++option_index;
        option_cursor = nullptr;
    }
    option_argument = nullptr;
    return c;
}

void reset_option_scanner()
{
    option_index = 1;
    option_argument = nullptr;
    option_cursor = nullptr;
    option_errors = 1;
    option_switch = '-';
}

#include "option.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct scan_step {
    int letter;
    const char* argument;  // null: none expected
};

struct scan_case {
    const char* name;
    std::vector<const char*> elements;  // without the program name
    const char* spec;
    std::vector<scan_step> steps;        // results before the final -1
    int final_index;
};

std::vector<scan_case> cases()
{
    return {
        {"flag_then_argument", {"-a", "-b", "5"}, "ab:", {{'a', nullptr}, {'b', "5"}}, 4},
        {"cluster_of_flags", {"-lu"}, "lu", {{'l', nullptr}, {'u', nullptr}}, 2},
        {"argument_attached", {"-b5"}, "b:", {{'b', "5"}}, 2},
        {"argument_separate", {"-b", "5"}, "b:", {{'b', "5"}}, 3},
        {"operand_stops_scan", {"file", "-a"}, "a", {}, 1},
        {"double_dash_consumed", {"--", "-a"}, "a", {}, 2},
        {"long_option_consumed", {"--verbose", "x"}, "v", {}, 2},
        {"lone_dash_consumed", {"-", "x"}, "a", {}, 2},
        {"argument_may_look_like_option", {"-b", "-a"}, "ab:", {{'b', "-a"}}, 3},
        {"nothing", {}, "a", {}, 1},
        {"argument_ends_cluster", {"-bo"}, "b:o", {{'b', "o"}}, 2},
        {"flag_then_attached_argument", {"-ab7", "x"}, "ab:", {{'a', nullptr}, {'b', "7"}}, 2},
        {"repeated_option", {"-a", "-a"}, "a", {{'a', nullptr}, {'a', nullptr}}, 3},
        {"high_byte_letter", {"-\xE9"}, "\xE9", {{0xE9, nullptr}}, 2},
    };
}

class option_scan : public testing::TestWithParam<scan_case> {};

TEST_P(option_scan, yields_letters_then_operands)
{
    const scan_case& c = GetParam();
    std::vector<std::string> storage{"prog"};
    for (const char* e : c.elements)
        storage.emplace_back(e);
    std::vector<char*> argv;
    for (auto& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    reset_option_scanner();
    for (const scan_step& step : c.steps) {
        ASSERT_EQ(get_option(argc, argv.data(), c.spec), step.letter);
        if (step.argument == nullptr)
            EXPECT_EQ(option_argument, nullptr);
        else
            EXPECT_STREQ(option_argument, step.argument);
    }
    EXPECT_EQ(get_option(argc, argv.data(), c.spec), -1);
    EXPECT_EQ(option_index, c.final_index);
    EXPECT_EQ(option_argument, nullptr);
}

INSTANTIATE_TEST_SUITE_P(cases, option_scan, testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct error_case {
    const char* name;
    std::vector<const char*> elements;
    const char* spec;
    int index_after;
};

class option_error : public testing::TestWithParam<error_case> {};

TEST_P(option_error, reports_invalid_argument)
{
    const error_case& c = GetParam();
    std::vector<std::string> storage{"prog"};
    for (const char* e : c.elements)
        storage.emplace_back(e);
    std::vector<char*> argv;
    for (auto& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    reset_option_scanner();
    testing::internal::CaptureStderr();
    const int result = get_option(static_cast<int>(storage.size()), argv.data(), c.spec);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, '?');
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(option_argument, nullptr);
    EXPECT_EQ(err, "get command line option: Invalid argument\n");
    EXPECT_EQ(option_index, c.index_after);
}

INSTANTIATE_TEST_SUITE_P(cases, option_error,
                         testing::Values(error_case{"unknown_letter", {"-x"}, "ab", 1},
                                         error_case{"colon_as_letter", {"-:"}, "a:b", 1},
                                         error_case{"missing_argument", {"-b"}, "b:", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(option_errors_flag, silences_the_report)
{
    std::string prog = "prog", opt = "-x";
    char* argv[] = {prog.data(), opt.data(), nullptr};
    reset_option_scanner();
    option_errors = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_option(2, argv, "a"), '?');
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    reset_option_scanner();
}

TEST(option_cluster, index_moves_only_after_last_letter)
{
    std::string prog = "prog", opt = "-lu";
    char* argv[] = {prog.data(), opt.data(), nullptr};
    reset_option_scanner();
    EXPECT_EQ(get_option(2, argv, "lu"), 'l');
    EXPECT_EQ(option_index, 1);
    EXPECT_EQ(get_option(2, argv, "lu"), 'u');
    EXPECT_EQ(option_index, 2);
}

}  // namespace

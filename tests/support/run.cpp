#include "run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace {

void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

std::string bin_first_path()
{
    const char* path = std::getenv("PATH");
    return std::string(SONO_BIN_DIR) + ":" + (path ? path : "/usr/bin:/bin");
}

}  // namespace

std::string tool_path(const std::string& name) { return std::string(SONO_BIN_DIR) + "/" + name; }

run_result run_command(const std::vector<std::string>& argv, const std::string& input)
{
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        throw std::runtime_error("pipe failed");
    signal(SIGPIPE, SIG_IGN);  // a program may stop reading its input early

    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            close(fd);
        signal(SIGPIPE, SIG_DFL);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        std::fprintf(stderr, "exec %s: %s\n", args[0], std::strerror(errno));
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    set_nonblocking(in_pipe[1]);
    set_nonblocking(out_pipe[0]);
    set_nonblocking(err_pipe[0]);

    run_result result;
    size_t sent = 0;
    int in_fd = in_pipe[1];
    if (input.empty()) {
        close(in_fd);
        in_fd = -1;
    }
    int out_fd = out_pipe[0], err_fd = err_pipe[0];
    char chunk[65536];
    while (out_fd >= 0 || err_fd >= 0) {
        pollfd fds[3];
        int n = 0;
        if (in_fd >= 0)
            fds[n++] = {in_fd, POLLOUT, 0};
        if (out_fd >= 0)
            fds[n++] = {out_fd, POLLIN, 0};
        if (err_fd >= 0)
            fds[n++] = {err_fd, POLLIN, 0};
        if (poll(fds, n, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == in_fd) {
                const ssize_t w = write(in_fd, input.data() + sent, input.size() - sent);
                if (w > 0)
                    sent += static_cast<size_t>(w);
                if (w < 0 && errno != EAGAIN) {
                    close(in_fd);
                    in_fd = -1;
                } else if (sent == input.size()) {
                    close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            const ssize_t r = read(fds[i].fd, chunk, sizeof chunk);
            if (r > 0) {
                (fds[i].fd == out_fd ? result.out : result.err).append(chunk, static_cast<size_t>(r));
            } else if (r == 0 || errno != EAGAIN) {
                close(fds[i].fd);
                (fds[i].fd == out_fd ? out_fd : err_fd) = -1;
            }
        }
    }
    if (in_fd >= 0)
        close(in_fd);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

run_result run_tool(const std::string& name, const std::vector<std::string>& args, const std::string& input)
{
    std::vector<std::string> argv{tool_path(name)};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_command(argv, input);
}

run_result run_shell(const std::string& command, const std::string& input)
{
    return run_command({"/bin/sh", "-c", "PATH='" + bin_first_path() + "'; export PATH; " + command}, input);
}

bool have_program(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::string number_name(long long value)
{
    // The magnitude as unsigned, so that the most negative value has one too.
    const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value;
    return (value < 0 ? "minus_" : "") + std::to_string(magnitude);
}

std::string type_code_name(int type)
{
    // By code, as the library numbers them (audiofile.h).
    static const char* const names[] = {
        "ils",     "aiff",    "aiff_8",  "aiff_16", "aiff_24", "aiff_32", "aifc",   "aifc_8", "aifc_16",
        "aifc_24", "aifc_32", "spw",     "spw_d",   "ils_f",   "ils_d",   "wave",   "wave_8", "wave_16",
        "wave_24", "wave_32", "sun",     "sun_8",   "sun_16",  "sun_24",  "sun_32", "sun_f",  "sun_d",
    };
    const auto code = static_cast<unsigned>(type);
    return code < std::size(names) ? names[code] : "code_" + number_name(type);
}

std::string text_name(const std::string& text)
{
    std::string name;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.empty() ? "empty" : name;
}

std::string formatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

temp_dir::temp_dir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "sonotest.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

temp_dir::~temp_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

// The one error type of the host program: a message meant for the user (one
// line, naming the thing and the reason) and the exit status it leads to.
#pragma once

#include <stdexcept>
#include <string>

namespace qvhost {

// Ended by signal N: kExitSignal + N, as shells report it (130 for Ctrl-C).
enum ExitStatus { kExitSuccess = 0, kExitFailure = 1, kExitUsage = 2, kExitSignal = 128 };

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string &message, int exitStatus = kExitFailure)
        : std::runtime_error(message), status_(exitStatus)
    {
    }
    int exitStatus() const { return status_; }

private:
    int status_;
};

// A command-line value that cannot be used (bad --size, --fps, output kind).
inline HostError UsageError(const std::string &message)
{
    return HostError(message, kExitUsage);
}

} // namespace qvhost

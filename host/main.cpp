// quorvanta: runs the visual plug-in bundle on audio files, live audio or
// the built-in demo, in a window or headless to video.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <regex>

#include "host/audio/audio_decoder.h"
#include "host/audio/demo_song.h"
#include "host/common/defaults.h"
#include "host/common/frame_size.h"
#include "host/common/host_error.h"
#include "host/common/messages.h"
#include "host/common/time_text.h"
#include "host/video/offline_renderer.h"
#include "host/visual/renderer_info.h"
#include "host/window/live_session.h"
#include "host/window/play_session.h"

namespace {

using namespace qvhost;

std::atomic<bool> gCancel{false};
volatile std::sig_atomic_t gSignal = 0; // the signal that ended a render

extern "C" void OnSignal(int signal)
{
    gSignal = signal;
    gCancel.store(true);
}

// Ctrl-C (SIGINT), SIGTERM and a closed terminal (SIGHUP) end a render
// cleanly: the render stops and removes what it wrote. Without SA_RESTART,
// so that a call blocked in the kernel (an open that waits) returns and the
// program ends rather than waiting on.
void CatchSignals()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

struct Size {
    int width;
    int height;
};

// A --size of any command: WIDTHxHEIGHT, each side within what the program draws.
Size ParseSize(const std::string &text)
{
    static const std::regex form("([0-9]{1,5})x([0-9]{1,5})");
    std::smatch m;
    if (!std::regex_match(text, m, form))
        throw UsageError("--size " + text + ": expected WIDTHxHEIGHT, such as " +
                         SizeText(kDefaultWidth, kDefaultHeight));
    const Size size{std::stoi(m[1]), std::stoi(m[2])};
    CheckFrameSize(size.width, size.height);
    return size;
}

// Accepts "name.so" as a file in the current directory, as the user meant,
// rather than a library to search for. Empty: the default bundle.
std::string BundlePath(const std::string &given)
{
    return given.empty() || given.find('/') != std::string::npos ? given : "./" + given;
}

void PrintRendered(const RenderResult &r, const std::string &output)
{
    if (r.files.size() == 1)
        std::printf("%s\n", r.files.front().c_str());
    else
        std::printf("%s (%zu frames)\n", output.c_str(), r.files.size());
}

// --smooth N, for videos and windows alike.
void AddSmoothOption(CLI::App *cmd, int &samples)
{
    cmd->add_option("--smooth", samples,
                    "smooth edges: N samples per pixel, such as 4 (the GL may use fewer; 0 or 1: plain edges). "
                    "The software GL takes about five times as long to draw them")
        ->check(CLI::Range(0, kMaxSamples))
        ->capture_default_str();
}

// A --start or --duration: seconds, m:ss or h:mm:ss.
std::optional<double> ParseTimeOption(const std::string &option, const std::string &text)
{
    if (text.empty())
        return std::nullopt;
    const std::optional<double> t = ParseTime(text);
    if (!t)
        throw UsageError(option + " " + text + ": expected seconds, m:ss or h:mm:ss, such as 1:30");
    return t;
}

struct RenderArgs {
    std::string output;
    std::string size = SizeText(kDefaultWidth, kDefaultHeight);
    int fps = kDefaultFps;
    int64_t frame = -1;
    bool quiet = false;
    std::string preset = VideoSettings().preset;
    int crf = VideoSettings().crf;
    std::string start, duration;
    int smooth = kDefaultSamples;
    std::string fit = "auto";
};

void AddRenderOptions(CLI::App *cmd, RenderArgs &args, bool outputRequired)
{
    auto *o = cmd->add_option("-o,--output", args.output,
                              "OUT.mp4 (H.264 + AAC), a PNG frame pattern such as frames/%04d.png, "
                              "or with --frame one PNG");
    if (outputRequired)
        o->required();
    cmd->add_option("--size", args.size, "frame size WIDTHxHEIGHT")->capture_default_str();
    cmd->add_option("--fps", args.fps, "frames per second")->check(CLI::Range(1, 1000))->capture_default_str();
    cmd->add_option("--frame", args.frame, "write only frame N (counting from 0) as a PNG")
        ->check(CLI::NonNegativeNumber);
    cmd->add_option("--preset", args.preset, "x264 speed preset of .mp4 output (slower: smaller files)")
        ->check(CLI::IsMember(
            {"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower", "veryslow"}))
        ->capture_default_str();
    cmd->add_option("--crf", args.crf, "x264 quality of .mp4 output, 0 (lossless) to 51 (worst)")
        ->check(CLI::Range(0, 51))
        ->capture_default_str();
    cmd->add_option("--start", args.start, "render from TIME of the audio on (seconds, m:ss or h:mm:ss)");
    cmd->add_option("--duration", args.duration, "render TIME of the audio (seconds, m:ss or h:mm:ss)");
    AddSmoothOption(cmd, args.smooth);
    cmd->add_option("--fit", args.fit,
                    "crop: the visual takes the frame's shape; contain: the whole scene in its own 16:9 shape, "
                    "the rest filled with its edge colour; auto: contain for frames taller than wide, else crop")
        ->check(CLI::IsMember({"auto", "crop", "contain"}))
        ->capture_default_str();
    cmd->add_flag("-q,--quiet", args.quiet, "no progress bar");
}

// `input`: the audio file, if any.
RenderJob MakeJob(const RenderArgs &args, const std::string &plugin, const std::string &input = std::string())
{
    const Size size = ParseSize(args.size);
    RenderJob job;
    job.bundlePath = BundlePath(plugin);
    job.input = input;
    job.output = args.output;
    job.width = size.width;
    job.height = size.height;
    job.fps = args.fps;
    if (args.frame >= 0)
        job.stillFrame = args.frame;
    job.progress = args.quiet ? 0 : -1;
    job.video.preset = args.preset;
    job.video.crf = args.crf;
    job.start = ParseTimeOption("--start", args.start).value_or(0.0);
    job.duration = ParseTimeOption("--duration", args.duration);
    job.samples = args.smooth;
    job.fit = args.fit == "crop" ? Fit::Crop : args.fit == "contain" ? Fit::Contain : Fit::Auto;
    job.cancel = &gCancel;
    ValidateRenderJob(job);
    return job;
}

// Renders, then warns (one line) when the audio ended early on a decoding
// error: the video holds what came before it.
RenderResult Render(AudioSource &source, const RenderJob &job)
{
    CatchSignals();
    RenderResult result = RenderAudio(source, job);
    if (!source.failure().empty())
        Warn(source.failure());
    return result;
}

// Each subcommand: its options, added to the program's parser, and what it
// does once the command line has been parsed.
struct PlayCommand {
    CLI::App *cmd;
    std::vector<std::string> files;
    std::string size = SizeText(kWindowWidth, kWindowHeight);
    bool fullScreen = false;
    int64_t frames = -1;
    int smooth = kDefaultSamples;

    explicit PlayCommand(CLI::App &app) : cmd(app.add_subcommand("play", "play audio files in a window with sound"))
    {
        cmd->add_option("FILE", files, "audio or video files (anything FFmpeg decodes), played in order")->required();
        cmd->add_option("--size", size, "window size WIDTHxHEIGHT")->capture_default_str();
        cmd->add_flag("--full-screen", fullScreen, "start in full screen");
        cmd->add_option("--frames", frames, "quit after N frames")->check(CLI::NonNegativeNumber);
        AddSmoothOption(cmd, smooth);
        cmd->footer("Keys: space pause, left/right seek 5 s, down/up 30 s, f full screen, q or Esc quit;\n"
                    "n, S and m choose the plug-in's full-screen size.");
    }

    void run(const std::string &plugin) const
    {
        PlayOptions options;
        for (const std::string &f : files) {
            AudioDecoder check(f); // every file opens before any plays
            options.tracks.push_back(Track{std::filesystem::path(f).filename().string(),
                                           [f] { return std::make_unique<AudioDecoder>(f); }});
        }
        const Size windowSize = ParseSize(size);
        options.bundlePath = BundlePath(plugin);
        options.window.width = windowSize.width;
        options.window.height = windowSize.height;
        options.window.fullScreen = fullScreen;
        options.window.frameLimit = frames;
        options.window.samples = smooth;
        RunPlay(options);
    }
};

struct LiveCommand {
    CLI::App *cmd;
    std::string device;
    bool listDevices = false;
    std::string size = SizeText(kWindowWidth, kWindowHeight);
    int64_t frames = -1;
    int smooth = kDefaultSamples;

    explicit LiveCommand(CLI::App &app)
        : cmd(app.add_subcommand("live", "visualize what the computer is playing (or another capture device)"))
    {
        cmd->add_option("--device", device, "capture device (see --list-devices); default: the output's monitor");
        cmd->add_flag("--list-devices", listDevices, "list the capture devices and exit");
        cmd->add_option("--size", size, "window size WIDTHxHEIGHT")->capture_default_str();
        cmd->add_option("--frames", frames, "quit after N frames")->check(CLI::NonNegativeNumber);
        AddSmoothOption(cmd, smooth);
        cmd->footer("Keys: space freezes the picture, f full screen, q or Esc quit; n, S and m go to the plug-in.");
    }

    void run(const std::string &plugin) const
    {
        if (listDevices) {
            ListDevices(std::cout);
            return;
        }
        const Size windowSize = ParseSize(size);
        LiveOptions options;
        options.device = device;
        options.bundlePath = BundlePath(plugin);
        options.window.width = windowSize.width;
        options.window.height = windowSize.height;
        options.window.frameLimit = frames;
        options.window.samples = smooth;
        RunLive(options);
    }
};

struct RenderCommand {
    CLI::App *cmd;
    std::string file;
    RenderArgs args;

    explicit RenderCommand(CLI::App &app)
        : cmd(app.add_subcommand("render", "render an audio file to video or PNG frames, headless"))
    {
        cmd->add_option("FILE", file, "audio or video file (anything FFmpeg decodes)")->required();
        AddRenderOptions(cmd, args, true);
    }

    void run(const std::string &plugin) const
    {
        const RenderJob job = MakeJob(args, plugin, file);
        AudioDecoder source(file);
        PrintRendered(Render(source, job), job.output);
    }
};

struct DemoCommand {
    CLI::App *cmd;
    RenderArgs args;
    bool window = false;

    explicit DemoCommand(CLI::App &app)
        : cmd(app.add_subcommand("demo", "the built-in demo song, rendered (default demo.mp4) or in a window"))
    {
        args.output = "demo.mp4";
        AddRenderOptions(cmd, args, false);
        cmd->add_flag("--window", window, "play it in a window with sound instead");
    }

    void run(const std::string &plugin) const
    {
        if (!window) {
            const RenderJob job = MakeJob(args, plugin);
            ClipSource demo(SynthesizeDemoSong());
            PrintRendered(Render(demo, job), job.output);
            return;
        }
        const Size windowSize = ParseSize(args.size);
        PlayOptions options;
        options.tracks.push_back(Track{"demo", [] { return std::make_unique<ClipSource>(SynthesizeDemoSong()); }});
        options.bundlePath = BundlePath(plugin);
        options.window.width = windowSize.width;
        options.window.height = windowSize.height;
        options.window.samples = args.smooth;
        RunPlay(options);
    }
};

// The commands, in the order the help lists them.
const char *const kCommands[] = {"play", "live", "render", "demo"};

// Edits (insertions, deletions, substitutions, swaps of neighbours) from a to b.
size_t EditDistance(const std::string &a, const std::string &b)
{
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        for (size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

HostError UnknownCommand(const std::string &word)
{
    const char *closest = nullptr;
    size_t best = 3; // more edits than this is another word
    for (const char *c : kCommands)
        if (const size_t d = EditDistance(word, c); d < best && d < word.size())
            closest = c, best = d;
    if (closest)
        return UsageError("unknown command '" + word + "'; did you mean '" + closest + "'?");
    return UsageError("unknown command '" + word + "' (the commands: play, live, render, demo, help)");
}

// The arguments as the parser takes them: "help [COMMAND]" becomes
// "[COMMAND] --help". Throws a usage error for a command word that names no
// command.
std::vector<std::string> CommandLine(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    size_t at = 0; // the command word: the first argument that is no option or option's value
    while (at < args.size() && args[at].rfind('-', 0) == 0)
        at += args[at] == "--plugin" ? 2 : 1;
    if (at >= args.size())
        return args;
    const auto known = [](const std::string &w) { return std::find(std::begin(kCommands), std::end(kCommands), w) != std::end(kCommands); };
    if (args[at] == "help") {
        args.erase(args.begin() + static_cast<ptrdiff_t>(at));
        if (at < args.size() && !known(args[at]))
            throw UnknownCommand(args[at]);
        args.insert(args.begin() + static_cast<ptrdiff_t>(std::min(at + 1, args.size())), "--help");
    } else if (!known(args[at])) {
        throw UnknownCommand(args[at]);
    }
    return args;
}

int Run(int argc, char **argv)
{
    CLI::App app("quorvanta: a music visualizer. Plays audio files, live audio or a built-in demo through the "
                 "Quorvanta visual plug-in, in a window or rendered to video.",
                 "quorvanta");
    app.set_version_flag(
        "--version", [] { return std::string("quorvanta " QV_VERSION "\nGL renderer: ") + ProbeGlRenderer().description; });
    std::string plugin;
    app.add_option("--plugin", plugin, "the visual plug-in bundle to load (default: the one installed with quorvanta)");
    app.footer("Run 'quorvanta help COMMAND' for a command's options. Exit status: 0 success, 1 failure, "
               "2 bad usage, 128 + N ended by signal N (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).");
    app.require_subcommand(0, 1);
    app.fallthrough();
    const PlayCommand play(app);
    const LiveCommand live(app);
    const RenderCommand render(app);
    const DemoCommand demo(app);

    std::vector<std::string> args = CommandLine(argc, argv);
    std::reverse(args.begin(), args.end()); // the parser takes them last first
    try {
        app.parse(args);
    } catch (const CLI::Success &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        std::fprintf(stderr, "quorvanta: %s (see quorvanta --help)\n", e.what());
        return kExitUsage;
    }
    if (*play.cmd)
        play.run(plugin);
    else if (*live.cmd)
        live.run(plugin);
    else if (*render.cmd)
        render.run(plugin);
    else if (*demo.cmd)
        demo.run(plugin);
    else
        throw UsageError("a command is needed: play, live, render or demo (see quorvanta --help)");
    return kExitSuccess;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return Run(argc, argv);
    } catch (const HostError &e) {
        if (gSignal) { // whatever failed on the way out, the signal ended it
            std::fprintf(stderr, "quorvanta: interrupted; nothing written\n");
            return kExitSignal + gSignal;
        }
        std::fprintf(stderr, "quorvanta: %s\n", e.what());
        return e.exitStatus();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "quorvanta: %s\n", e.what());
        return kExitFailure;
    }
}

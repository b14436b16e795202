// quorvanta: runs the visual plug-in bundle on audio files, live audio or
// the built-in demo, in a window or headless to video.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <regex>

#include "host/AudioClip.h"
#include "host/DemoSong.h"
#include "host/HostError.h"
#include "host/OfflineRenderer.h"
#include "host/RendererInfo.h"
#include "host/Sessions.h"
#include "host/VisualHost.h"

namespace {

using namespace qvhost;

std::atomic<bool> gCancel{false};

extern "C" void OnSignal(int)
{
    gCancel.store(true);
}

struct Size {
    int width;
    int height;
};

Size ParseSize(const std::string &text)
{
    static const std::regex form("([0-9]{1,5})x([0-9]{1,5})");
    std::smatch m;
    if (!std::regex_match(text, m, form))
        throw UsageError("--size " + text + ": expected WIDTHxHEIGHT, such as 1280x720");
    return Size{std::stoi(m[1]), std::stoi(m[2])};
}

// Accepts "name.so" as a file in the current directory, as the user meant,
// rather than a library to search for.
std::string BundlePath(const std::string &given)
{
    if (given.empty())
        return DefaultBundlePath();
    return given.find('/') == std::string::npos ? "./" + given : given;
}

void PrintRendered(const RenderResult &r, const std::string &output)
{
    if (r.files.size() == 1)
        std::printf("%s\n", r.files.front().c_str());
    else
        std::printf("%s (%zu frames)\n", output.c_str(), r.files.size());
}

struct RenderArgs {
    std::string output;
    std::string size = "1280x720";
    int fps = 60;
    int64_t frame = -1;
    bool quiet = false;
    std::string preset = VideoSettings().preset;
    int crf = VideoSettings().crf;
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
        ->check(CLI::IsMember({"ultrafast", "superfast", "veryfast", "faster", "fast", "medium", "slow", "slower",
                               "veryslow"}))
        ->capture_default_str();
    cmd->add_option("--crf", args.crf, "x264 quality of .mp4 output, 0 (lossless) to 51 (worst)")
        ->check(CLI::Range(0, 51))
        ->capture_default_str();
    cmd->add_flag("-q,--quiet", args.quiet, "no progress bar");
}

RenderJob MakeJob(const RenderArgs &args, const std::string &plugin)
{
    const Size size = ParseSize(args.size);
    RenderJob job;
    job.bundlePath = BundlePath(plugin);
    job.output = args.output;
    job.width = size.width;
    job.height = size.height;
    job.fps = args.fps;
    if (args.frame >= 0)
        job.stillFrame = args.frame;
    job.progress = args.quiet ? 0 : -1;
    job.video.preset = args.preset;
    job.video.crf = args.crf;
    job.cancel = &gCancel;
    ValidateRenderJob(job);
    return job;
}

RenderResult Render(const AudioClip &clip, const RenderJob &job)
{
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    return RenderClip(clip, job);
}

int Run(int argc, char **argv)
{
    CLI::App app("quorvanta: a music visualizer. Plays audio files, live audio or a built-in demo through the "
                 "Quorvanta visual plug-in, in a window or rendered to video.",
                 "quorvanta");
    app.set_version_flag("--version", [] {
        return std::string("quorvanta " QV_VERSION "\nGL renderer: ") + GlRendererDescription();
    });
    std::string plugin;
    app.add_option("--plugin", plugin, "the visual plug-in bundle to load (default: the one installed with quorvanta)");
    app.footer("Run 'quorvanta COMMAND --help' for a command's options. Exit status: 0 success, 1 failure, "
               "2 bad usage.");
    app.require_subcommand(0, 1);
    app.fallthrough();

    // play
    auto *play = app.add_subcommand("play", "play audio files in a window with sound");
    std::vector<std::string> playFiles;
    std::string playSize = "960x540";
    bool playFull = false;
    int64_t playFrames = -1;
    play->add_option("FILE", playFiles, "audio files (WAV, FLAC, OGG, MP3...), played in order")->required();
    play->add_option("--size", playSize, "window size WIDTHxHEIGHT")->capture_default_str();
    play->add_flag("--full-screen", playFull, "start in full screen");
    play->add_option("--frames", playFrames, "quit after N frames")->check(CLI::NonNegativeNumber);
    play->footer("Keys: space pause, left/right seek 5 s, down/up 30 s, f full screen, q or Esc quit;\n"
                 "n, S and m choose the plug-in's full-screen size.");

    // live
    auto *live = app.add_subcommand("live", "visualize what the computer is playing (or another capture device)");
    std::string device;
    bool listDevices = false;
    std::string liveSize = "960x540";
    int64_t liveFrames = -1;
    live->add_option("--device", device, "capture device (see --list-devices); default: the output's monitor");
    live->add_flag("--list-devices", listDevices, "list the capture devices and exit");
    live->add_option("--size", liveSize, "window size WIDTHxHEIGHT")->capture_default_str();
    live->add_option("--frames", liveFrames, "quit after N frames")->check(CLI::NonNegativeNumber);
    live->footer("Keys: space freezes the picture, f full screen, q or Esc quit; n, S and m go to the plug-in.");

    // render
    auto *render = app.add_subcommand("render", "render an audio file to video or PNG frames, headless");
    std::string renderFile;
    RenderArgs renderArgs;
    render->add_option("FILE", renderFile, "audio file")->required();
    AddRenderOptions(render, renderArgs, true);

    // demo
    auto *demo = app.add_subcommand("demo", "the built-in demo song, rendered (default demo.mp4) or in a window");
    RenderArgs demoArgs;
    demoArgs.output = "demo.mp4";
    bool demoWindow = false;
    AddRenderOptions(demo, demoArgs, false);
    demo->add_flag("--window", demoWindow, "play it in a window with sound instead");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        std::fprintf(stderr, "quorvanta: %s (see quorvanta --help)\n", e.what());
        return kExitUsage;
    }
    if (app.get_subcommands().empty())
        throw UsageError("a command is needed: play, live, render or demo (see quorvanta --help)");

    if (*play) {
        PlayOptions options;
        for (const std::string &f : playFiles) {
            CheckAudioFile(f);
            options.tracks.push_back(Track{f, [f] { return DecodeAudioFile(f); }});
        }
        const Size size = ParseSize(playSize);
        options.bundlePath = BundlePath(plugin);
        options.window.width = size.width;
        options.window.height = size.height;
        options.window.fullScreen = playFull;
        options.window.frameLimit = playFrames;
        RunPlay(options);
    } else if (*live) {
        if (listDevices) {
            ListDevices(std::cout);
            return kExitSuccess;
        }
        const Size size = ParseSize(liveSize);
        LiveOptions options;
        options.device = device;
        options.bundlePath = BundlePath(plugin);
        options.window.width = size.width;
        options.window.height = size.height;
        options.window.frameLimit = liveFrames;
        RunLive(options);
    } else if (*render) {
        const RenderJob job = MakeJob(renderArgs, plugin);
        const AudioClip clip = DecodeAudioFile(renderFile);
        PrintRendered(Render(clip, job), job.output);
    } else if (*demo) {
        if (demoWindow) {
            const Size size = ParseSize(demoArgs.size);
            PlayOptions options;
            options.tracks.push_back(Track{"demo", [] { return SynthesizeDemoSong(); }});
            options.bundlePath = BundlePath(plugin);
            options.window.width = size.width;
            options.window.height = size.height;
            RunPlay(options);
        } else {
            const RenderJob job = MakeJob(demoArgs, plugin);
            PrintRendered(Render(SynthesizeDemoSong(), job), job.output);
        }
    }
    return kExitSuccess;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return Run(argc, argv);
    } catch (const HostError &e) {
        std::fprintf(stderr, "quorvanta: %s\n", e.what());
        return e.exitStatus();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "quorvanta: %s\n", e.what());
        return kExitFailure;
    }
}

// The command line and environment read before the window system, and the choice of a device.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "app/Options.h"
#include "app/instrument/Actions.h"
#include "app/instrument/GLStuff.h"
#include "app/instrument/PerformanceSettings.h"
#include "src/device/AudioDevices.h"
#include "src/device/JackPresence.h"
#include "support/FromTestProgram.h"

namespace {

using Env = std::map<std::string, std::string>;

struct CommandLine {
    explicit CommandLine(std::vector<std::string> words) : words(std::move(words))
    {
        for (std::string& word : this->words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        argc = static_cast<int>(this->words.size());
    }
    Options Parse(const Env& environment = {}, OptionTable::Program program = OptionTable::kPlayer)
    {
        const auto lookup = [&](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        };
        return program == OptionTable::kPlayer ? Options::ParsePlayer(argc, argv.data(), lookup)
                                               : Options::ParseRenderer(argc, argv.data(), lookup);
    }
    std::vector<std::string> Left() const { return {argv.begin(), argv.begin() + argc}; }
    std::vector<std::string> words;
    std::vector<char*> argv;
    int argc = 0;
};

using Program = OptionTable::Program;
using Setting = OptionTable::Setting;
constexpr Program kPlayer = OptionTable::kPlayer;
constexpr Program kRenderer = OptionTable::kRenderer;

using O = const Options&;

// One row of the table as a player uses it: a value it takes, what that value sets, and a value
// it refuses (null: none).
struct RowCase {
    Program program;
    Setting setting;
    const char* good; // null for a switch without a variable
    std::function<bool(O)> took;
    const char* bad;
};

const RowCase kCases[] = {
    {kPlayer, Setting::kAudio, "alsa", [](O o) { return o.audioSystem == "alsa"; }, "oss"},
    {kPlayer, Setting::kDevice, "hw:1", [](O o) { return o.audioDevice == "hw:1"; }, nullptr},
    {kPlayer, Setting::kListDevices, nullptr,
     [](O o) { return o.action == Options::Action::ListDevices; }, nullptr},
    {kPlayer, Setting::kKey, "Bb2", [](O o) { return o.settings.key == 46; }, "H2"},
    {kPlayer, Setting::kTouch, "1", [](O o) { return o.settings.touch == 1; }, "yes"},
    {kPlayer, Setting::kVoice, "concert", [](O o) { return o.settings.voice == "concert"; },
     "harp"},
    {kPlayer, Setting::kRoom, "0.3", [](O o) { return o.room == 0.3f; }, "1.5"},
    {kPlayer, Setting::kOsc, "localhost:9000", [](O o) { return o.osc == "localhost:9000"; },
     nullptr},
    {kPlayer, Setting::kScale, "a.scl", [](O o) { return o.settings.scale == "a.scl"; }, "b.sc"},
    {kPlayer, Setting::kTracking, "replay:take.jsonl,loop",
     [](O o) { return o.tracking.tracking == "replay:take.jsonl,loop"; }, "demo:2"},
    {kPlayer, Setting::kTrackingRecord, "take.jsonl",
     [](O o) { return o.tracking.record == "take.jsonl"; }, nullptr},
    {kPlayer, Setting::kCameraModel, "full",
     [](O o) { return o.tracking.camera.variant == "full"; }, "ful"},
    {kPlayer, Setting::kCameraRuntime, "opencv",
     [](O o) { return o.tracking.camera.runtime == Leap::InferenceRuntime::kOpenCv; }, "onnx"},
    {kPlayer, Setting::kModelDir, "/m", [](O o) { return o.tracking.camera.modelDir == "/m"; },
     nullptr},
    {kPlayer, Setting::kMidi, "off", [](O o) { return o.midi == "off"; }, "JACK"},
    {kRenderer, Setting::kStrings, "30", [](O o) { return o.settings.strings == 30; }, "31"},
    {kRenderer, Setting::kScale, "whole-tone", [](O o) { return o.settings.scale == "whole-tone"; },
     "dorian"},
    {kRenderer, Setting::kKey, "D", [](O o) { return o.settings.key == 26; }, "128"},
    {kRenderer, Setting::kRate, "48000", [](O o) { return o.render.rate == 48000; }, "44100.5"},
    {kRenderer, Setting::kTail, "0.5", [](O o) { return o.render.tailSeconds == 0.5; }, "601"},
    {kRenderer, Setting::kPauses, "0", [](O o) { return o.render.pauseSeconds == 0; }, "-1"},
    {kRenderer, Setting::kFloat, nullptr, [](O o) { return o.render.floatSamples; }, nullptr},
    {kRenderer, Setting::kTouch, nullptr, [](O o) { return o.settings.touch == 1; }, nullptr},
    {kRenderer, Setting::kVoice, "classic", [](O o) { return o.settings.voice == "classic"; },
     "Concert"},
    {kRenderer, Setting::kRoom, "1", [](O o) { return o.room == 1.0f; }, "on"},
};

// A command line of `program`: its name, `words`, and for the renderer the two files it needs.
std::vector<std::string> Words(Program program, std::vector<std::string> words)
{
    words.insert(words.begin(), OptionTable::Name(program));
    if (program == kRenderer) {
        words.push_back("take.jsonl");
        words.push_back("take.wav");
    }
    return words;
}

// Each row parses, is refused in one line naming it and its value, and is in the help; every
// row of the table has its case here.
TEST(OptionsTest, EveryRowParsesRefusesAndIsInTheHelp)
{
    for (const OptionTable::Row& row : OptionTable::Rows()) {
        for (const Program program : {kPlayer, kRenderer}) {
            if (!(row.programs & program))
                continue;
            const std::string help = OptionTable::HelpText(program);
            const std::string label = std::string(OptionTable::Name(program)) + " " +
                                      (row.option ? row.option : row.variable);
            if (row.option) {
                EXPECT_NE(help.find(" " + std::string(row.option)), std::string::npos) << label;
            }
            if (row.variable) {
                EXPECT_NE(help.find("  " + std::string(row.variable) + "="), std::string::npos)
                    << label;
            }
            if (row.setting == Setting::kHelp || row.setting == Setting::kVersion) {
                const Options answer = CommandLine({"q", "--bogus", row.option}).Parse({}, program);
                std::ostringstream out, err;
                EXPECT_EQ(answer.Answer(out, err), 0) << label;
                EXPECT_EQ(out.str().find(row.setting == Setting::kHelp ? help : "quorvel"), 0u)
                    << label;
                continue;
            }
            const auto found = std::find_if(std::begin(kCases), std::end(kCases), [&](auto& c) {
                return c.program == program && c.setting == row.setting;
            });
            ASSERT_NE(found, std::end(kCases)) << label << " has no case";
            const RowCase& check = *found;
            auto expectRefused = [&](std::vector<std::string> words, const Env& env,
                                     const std::string& name) {
                const Options refused =
                    CommandLine(Words(program, std::move(words))).Parse(env, program);
                std::ostringstream out, err;
                EXPECT_EQ(refused.Answer(out, err), 2) << label;
                const std::string line = err.str();
                EXPECT_EQ(
                    line.find(std::string(OptionTable::Name(program)) + ": " + name + " takes "),
                    0u)
                    << line;
                EXPECT_NE(line.find("\"" + std::string(check.bad) + "\""), std::string::npos)
                    << line;
                EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
            };
            auto parse = [&](std::vector<std::string> words, const Env& env) {
                return CommandLine(Words(program, std::move(words))).Parse(env, program);
            };
            const std::string given = row.optionValue ? "=" + std::string(check.good) : "";
            if (row.option) {
                EXPECT_TRUE(check.took(parse({row.option + given}, {}))) << label;
                if (row.optionValue) {
                    EXPECT_TRUE(check.took(parse({row.option, check.good}, {}))) << label;
                }
                if (row.optionValue && check.bad) {
                    expectRefused({row.option + std::string("=") + check.bad}, {}, row.option);
                }
            }
            if (row.variable) {
                const Options set = parse({}, {{row.variable, check.good}});
                EXPECT_EQ(set.action, Options::Action::Play) << label << ": " << set.error;
                EXPECT_TRUE(check.took(set)) << label;
                if (check.bad) {
                    expectRefused({}, {{row.variable, check.bad}}, row.variable);
                }
                if (check.bad && row.option) { // the option wins; its variable is not judged
                    EXPECT_TRUE(
                        check.took(parse({row.option + given}, {{row.variable, check.bad}})))
                        << label;
                }
            }
        }
    }
}

TEST(OptionsTest, LeavesTheWindowSystemItsOwnAndRefusesWhatIsNoOption)
{
    CommandLine line({"quorvel", "-display", ":3", "--audio", "jack", "--device=hw:1", "-iconic",
                      "--", "--geometry"});
    const Options options = line.Parse();
    EXPECT_EQ(options.action, Options::Action::Play) << options.error;
    EXPECT_EQ(line.Left(),
              (std::vector<std::string>{"quorvel", "-display", ":3", "-iconic", "--geometry"}));
    EXPECT_EQ(line.argv[line.argc], nullptr);

    const std::pair<Program, std::vector<std::string>> wrong[] = {
        {kPlayer, {"--device"}},
        {kPlayer, {"--audio="}},
        {kPlayer, {"--devices=x"}},
        {kPlayer, {"--touch=1"}},
        {kPlayer, {"--list-devices", "--rate=8000"}},
        {kRenderer, {"--audio=alsa", "a", "b"}},
        {kRenderer, {"-x", "a", "b"}},
        {kRenderer, {"a"}},
        {kRenderer, {"a", "b", "c"}},
    };
    for (const auto& [program, words] : wrong) {
        std::vector<std::string> line = words;
        line.insert(line.begin(), OptionTable::Name(program));
        const Options refused = CommandLine(line).Parse({}, program);
        EXPECT_EQ(refused.action, Options::Action::Refuse) << line.back();
    }
}

// The player tunes to --scale (here 24 equal steps) before it judges --key, as the renderer does;
// a pitch far beyond any note is named in cents.
TEST(OptionsTest, JudgesTheKeyAgainstTheTuningItWillPlay)
{
    const std::string steps = testing::TempDir() + "/q24.scl", wide = testing::TempDir() + "/w.scl";
    std::ofstream(steps) << "24 equal steps\n1\n50.0\n";
    std::ofstream(wide) << "wide\n1\n1.0e30\n";
    std::ostringstream err;
    EXPECT_TRUE(CommandLine({"q", "--key", "60", "--scale", steps}).Parse().SetUpTuning(err));
    EXPECT_EQ(GLStuff::CurrentScale().key, 60) << err.str();
    EXPECT_TRUE(CommandLine({"q", "--scale", wide}).Parse().SetUpTuning(err));
    EXPECT_NE(err.str().find("would sound a pitch 2.9e+31 cents"), std::string::npos) << err.str();
}

// What the command line sets holds against a replay's settings lines; the rest follows them.
TEST(OptionsTest, TheCommandLineHoldsAgainstARecordingsSettings)
{
    std::ostringstream err;
    ASSERT_TRUE(CommandLine({"q", "--key", "D", "--touch", "--scale", "diatonic"})
                    .Parse()
                    .SetUpTuning(err));
    PerformanceSettings line;
    std::string error;
    ASSERT_TRUE(PerformanceSettings::Parse(
        R"({"instrument":{"strings":7,"scale":"whole-tone","key":40,"touch":false}})", line,
        error));
    EXPECT_TRUE(line.Apply(err)) << err.str();
    const PerformanceSettings now = PerformanceSettings::Current();
    EXPECT_EQ(now.key, 26);
    EXPECT_EQ(now.scale, "diatonic");
    EXPECT_EQ(now.touch, 1);
    EXPECT_EQ(now.strings, 7);
    GLStuff::HoldSettings({});
}

TEST(OptionsTest, HelpNamesEveryVariableTheProgramReads)
{
    const std::string help = OptionTable::HelpText(kPlayer);
    const std::regex variable("\"(QUORVEL_[A-Z_]+)\"");
    int seen = 0;
    for (const char* area : {"app", "src", "tracking"}) {
        for (const auto& file : std::filesystem::recursive_directory_iterator(
                 testsupport::FromTestProgram(QUORVEL_SOURCE_DIR) + "/" + area)) {
            if (!file.is_regular_file())
                continue;
            std::ifstream in(file.path());
            const std::string text((std::istreambuf_iterator<char>(in)), {});
            for (std::sregex_iterator match(text.begin(), text.end(), variable), end; match != end;
                 ++match, ++seen) {
                EXPECT_NE(help.find((*match)[1].str() + "="), std::string::npos)
                    << (*match)[1] << " in " << file.path();
            }
        }
    }
    EXPECT_GE(seen, 4);
}

TEST(AudioDevicesTest, FindsADeviceByNumberWholeNameOrAPartThatFitsOneAlone)
{
    // The library's numbers, not places in the list; "Output" is a whole name and a part of two.
    const AudioDevices::System system{
        RtAudio::LINUX_PULSE,
        "pulse",
        {{4, "USB Output", false}, {2, "Output", true}, {7, "Null Output", false}},
        {}};
    const std::pair<const char*, const char*> chosen[] = {
        {"2", "Output"}, {"Output", "Output"}, {"usb", "USB Output"}, {"null", "Null Output"}};
    std::string error;
    for (const auto& [asked, name] : chosen) {
        const AudioDevices::Device* found = AudioDevices::Find(system, asked, error);
        ASSERT_NE(found, nullptr) << asked << ": " << error;
        EXPECT_EQ(found->name, name) << asked;
    }
    for (const char* nothing : {"put", "1", "hdmi"}) {
        EXPECT_EQ(AudioDevices::Find(system, nothing, error), nullptr) << nothing;
        EXPECT_NE(error.find("4 \"USB Output\", 2 \"Output\", 7 \"Null Output\""),
                  std::string::npos)
            << error;
    }
}

// Without a JACK server's socket, JACK is listed empty and libjack is left alone: its client makes
// a shared database that a killed process leaves broken for every later JACK client.
TEST(AudioDevicesTest, LooksForAJackServerWithoutOpeningAClient)
{
    const std::string server = "quorvel-test-" + std::to_string(::getpid());
    const std::string uid = std::to_string(::getuid());
    const bool hadDatabase = std::filesystem::exists("/dev/shm/jack_db-" + uid);
    EXPECT_FALSE(JackServerMayRun(server));
    for (const AudioDevices::System& system : AudioDevices::Probe(server))
        EXPECT_TRUE(system.api != RtAudio::UNIX_JACK || system.outputs.empty());
    EXPECT_TRUE(hadDatabase || !std::filesystem::exists("/dev/shm/jack_db-" + uid));
    // JACK 2's socket, and JACK 1's folder of sockets, in either place a server keeps them.
    for (const std::string dir : {"/dev/shm/", "/tmp/"}) {
        const std::string jack1 = dir + "jack-" + uid;
        const bool hadJack1 = std::filesystem::exists(jack1);
        for (const std::string& socket :
             {dir + "jack_" + server + "_" + uid + "_0", jack1 + "/" + server}) {
            std::filesystem::create_directories(socket);
            EXPECT_TRUE(JackServerMayRun(server)) << socket;
            std::filesystem::remove(socket);
        }
        if (!hadJack1)
            std::filesystem::remove(jack1);
        EXPECT_FALSE(JackServerMayRun(server));
    }
}

} // namespace

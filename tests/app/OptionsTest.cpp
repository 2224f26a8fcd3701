// The command line and environment read before the window system, and the choice of a device.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "AudioDevices.h"
#include "JackPresence.h"
#include "Options.h"

namespace {

struct CommandLine {
    explicit CommandLine(std::vector<std::string> words) : words(std::move(words))
    {
        for (std::string& word : this->words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        argc = static_cast<int>(this->words.size());
    }
    Options Parse(const std::map<std::string, std::string>& environment = {})
    {
        return Options::Parse(argc, argv.data(), [&](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        });
    }
    std::vector<std::string> Left() const { return {argv.begin(), argv.begin() + argc}; }
    std::vector<std::string> words;
    std::vector<char*> argv;
    int argc = 0;
};

TEST(OptionsTest, TakesItsOwnOptionsOverTheEnvironmentAndLeavesTheWindowSystemItsOwn)
{
    CommandLine line({"quorvel", "-display", ":3", "--audio", "jack", "--device=hw:1", "-iconic"});
    const Options options = line.Parse({{"QUORVEL_AUDIO", "pulse"}, {"QUORVEL_AUDIO_DEVICE", "x"}});
    EXPECT_EQ(options.action, Options::Action::Play);
    EXPECT_EQ(options.audioSystem, "jack");
    EXPECT_EQ(options.audioDevice, "hw:1");
    EXPECT_EQ(line.Left(), (std::vector<std::string>{"quorvel", "-display", ":3", "-iconic"}));
    EXPECT_EQ(line.argv[line.argc], nullptr);

    EXPECT_EQ(CommandLine({"quorvel"}).Parse({{"QUORVEL_AUDIO", "alsa"}}).audioSystem, "alsa");
    EXPECT_EQ(CommandLine({"quorvel", "--list-devices"}).Parse().action,
              Options::Action::ListDevices);
    EXPECT_EQ(CommandLine({"quorvel", "--bogus", "--help"}).Parse().action, Options::Action::Help);
    for (const char* wrong : {"--device", "--audio=", "--devices=x", "--bogus"}) {
        const Options refused = CommandLine({"quorvel", wrong}).Parse();
        EXPECT_EQ(refused.action, Options::Action::Refuse) << wrong;
        std::ostringstream out, err;
        EXPECT_EQ(refused.Answer(out, err), 2) << wrong;
        EXPECT_NE(err.str().find("--help"), std::string::npos) << err.str();
    }
}

TEST(OptionsTest, HelpNamesEveryVariableTheProgramReads)
{
    const std::string help = Options::HelpText();
    const std::regex variable("\"(QUORVEL_[A-Z_]+)\"");
    int seen = 0;
    for (const char* area : {"app", "src", "tracking"}) {
        for (const auto& file : std::filesystem::recursive_directory_iterator(
                 std::string(QUORVEL_SOURCE_DIR) + "/" + area)) {
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

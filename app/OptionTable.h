#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

// Every option and environment variable of quorvel and quorvel-render, with its help, and the one
// reading of a command line both programs share: "--name=VALUE" or "--name VALUE", an option
// winning over its variable. What a value means is not judged here (see Options), so a program
// that only answers --help and --version needs nothing else of the instrument.
class OptionTable {
public:
    // Which program a row belongs to; a row may belong to both.
    enum Program : unsigned { kPlayer = 1, kRenderer = 2 };

    enum class Setting {
        kHelp,
        kVersion,
        kListDevices,
        kAudio,
        kDevice,
        kKey,
        kTouch,
        kVoice,
        kRoom,
        kOsc,
        kScale,
        kStrings,
        kRate,
        kTail,
        kPauses,
        kFloat,
        kTracking,
        kTrackingRecord,
        kCameraModel,
        kCameraRuntime,
        kModelDir,
        kMidi,
    };

    struct Row {
        Setting setting;
        unsigned programs;
        const char* option;        // "--audio"; null for a variable alone
        const char* optionValue;   // how the help calls its value ("SYSTEM"); null: a switch
        const char* variable;      // "QUORVEL_AUDIO"; null for an option alone
        const char* variableValue; // how the help calls the variable's value
        const char* help;          // its help; a line after the first carries its own indent
    };

    // A value and where it came from: the option or the variable, as the player wrote it.
    struct Value {
        std::string text;
        std::string from;
    };

    // What a command line and the environment say, values not yet judged.
    struct Reading {
        bool help = false;
        bool version = false;
        std::map<Setting, Value> values; // switches given have the value "1"
        std::vector<char*> rest;         // argv[0] and what is not the program's own
        std::string error;               // the first mistake in the line itself
    };

    // Reads an environment variable; null when it is not set.
    using Lookup = std::function<const char*(const char*)>;

    // Every row, in the order the help lists them.
    static const std::vector<Row>& Rows();

    // The row of `setting` for `program`; null when that program has no such setting.
    static const Row* Find(Program program, Setting setting);

    // Reads argv (argc follows) and the variables of `program`'s rows. For the player, what is
    // not its own (-display, -geometry, ..., everything after --) is left to the window system;
    // for the renderer it is its files. An empty variable counts as unset.
    static Reading Read(Program program, int argc, char** argv, const Lookup& lookup);

    // The program's name as its messages begin: "quorvel" or "quorvel-render".
    static const char* Name(Program program);

    // Every option and variable of the program, from the table.
    static std::string HelpText(Program program);

    // "quorvel VERSION" or "quorvel-render VERSION", the project's version, then the copyright and
    // the licence (help2man makes the manual page's COPYRIGHT section of those lines).
    static std::string VersionText(Program program);
};

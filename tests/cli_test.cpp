// End-to-end tests: run the built zx8xwav in a private temporary directory and check its exit
// status, its exact standard output and standard error, the files left behind, and that every
// WAV it writes decodes to the expected bytes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "support/folders.h"
#include "support/images.h"
#include "support/tape_decoder.h"
#include "support/tape_files.h"
#include "support/wav_reader.h"

namespace fs = std::filesystem;

namespace {

const std::string EXE = ZX8XWAV_EXE;

struct Result {
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::string Quoted(const std::string& arg)
{
    std::string quoted = "'";
    for (const char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Usage(const std::string& program)
{
    return "\nConvert a ZX81 or ZX80 software file (*.p or *.80) to a wav file (*.wav). The\n"
           "wav output can be used to load software into your ZX by connecting it to the\n"
           "soundcard of the PC (or any other wav player)     [ver0.03qx]\n"
           "\nUsage (command line):\n\n" +
           program +
           " [options] filename\n"
           "\nOptions: \n"
           "   -zNAME       Use NAME for ZX file name (the name as used by the ZX81)\n"
           "   -80     \t\tAssume file is for ZX80 target (no autodetect)\n"
           "   -81     \t\tAssume file is for ZX81 target (no autodetect)\n"
           "\nUsage (Windows Explorer):\n\n"
           "Just drag-and-drop the *.p file onto this program's symbol.\n"
           "\nHint: Connect ZX EAR using a mono jack plug, a stereo plug may not work.\n";
}

// Bytes a loader reads from a tape with the given name block and image.
std::vector<uint8_t> TapeBytes(const std::vector<uint8_t>& name_block,
                               const std::vector<uint8_t>& image)
{
    std::vector<uint8_t> bytes = name_block;
    bytes.insert(bytes.end(), image.begin(), image.end());
    return bytes;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() /
                ("zx8xwav_cli_" + std::string(info->name()) + "_" + std::to_string(getpid()));
        fs::remove_all(root_);
        dir_ = root_ / "work";
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        if (!HasFailure()) fs::remove_all(root_);
    }

    // Runs the program in the work folder, after the shell commands `setup` (a umask, a limit).
    // With `combined`, standard error goes to the same file as standard output, into Out.
    Result Run(const std::vector<std::string>& args, const std::string& setup = "",
               bool combined = false)
    {
        std::string command = "cd " + Quoted(dir_.string()) + " && " + setup + " " + Quoted(EXE);
        for (const std::string& arg : args) command += " " + Quoted(arg);
        command += " >" + Quoted((root_ / "out").string()) +
                   (combined ? " 2>&1" : " 2>" + Quoted((root_ / "err").string())) + " </dev/null";
        Result result;
        const int raw = std::system(command.c_str());
        result.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.Out = FileText(root_ / "out");
        result.Err = FileText(root_ / "err");
        return result;
    }

    void Put(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        ASSERT_TRUE(WriteFileBytes((dir_ / name).string().c_str(), bytes));
    }

    // Every path below the work folder.
    std::set<std::string> Tree()
    {
        std::set<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(dir_))
            paths.insert(entry.path().string());
        return paths;
    }

    std::set<std::string> Files()
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    // Checks that the WAV is well-formed and that a loader reads exactly `expected` from it.
    void ExpectTape(const std::string& name, const std::vector<uint8_t>& expected,
                    int expected_samples = -1)
    {
        const WavContents wav = ParseWav(ReadWholeFile((dir_ / name).string()));
        ASSERT_EQ(wav.Error, "") << name;
        EXPECT_EQ(wav.SampleRate, 22050u);
        EXPECT_EQ(wav.BitsPerSample, 8);
        EXPECT_EQ(wav.Channels, 1);
        if (expected_samples >= 0) {
            EXPECT_EQ(wav.Samples.size(), static_cast<size_t>(expected_samples));
        }
        const DecodedTape tape = DecodeTape(wav.Samples.data(), wav.Samples.size(), wav.SampleRate);
        EXPECT_EQ(tape.Error, "") << name;
        EXPECT_TRUE(tape.Bytes == expected)
            << name << ": decoded " << tape.Bytes.size() << " bytes, expected " << expected.size();
    }

    fs::path root_;
    fs::path dir_;
};

const std::vector<uint8_t> ONE_ZERO_BYTE = {0x00};

// The progress lines of the one-byte image t.bin converted with -81 -zA.
const char* const T_BIN_PROGRESS =
    "Input file name  :  t.bin\n"
    "Input file has size of 1 bytes\n"
    "Output file name : t.wav\n"
    "ZX file name     : A\n"
    "Input file has 8 zero bits, 0 one bits\n"
    "Estimated duration of wav output: 2.436000 seconds\n"
    "Output wav file has 45115 bytes\n"
    "Done.\n";

TEST_F(Cli, NoArgumentsPrintsOnlyTheUsage)
{
    const Result r = Run({});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, Usage(EXE));
    EXPECT_TRUE(Files().empty());
}

TEST_F(Cli, WrongArgumentCounts)
{
    Put("a.p", Zx81Image(200, 1));
    Put("b.p", Zx81Image(200, 2));
    // Only options; two files; arguments after the file name.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-81"}, {"a.p", "b.p"}, {"a.p", "-81"}, {"-zAB", "-80"}}) {
        SCOPED_TRACE(args.front());
        const Result r = Run(args);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Out, "");
        EXPECT_EQ(r.Err, "ERROR: Invalid number of arguments\n" + Usage(EXE));
    }
    EXPECT_EQ(Files(), (std::set<std::string>{"a.p", "b.p"}));
}

TEST_F(Cli, HelpAloneIsAnArgumentCountError)
{
    const Result r = Run({"-h"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, Usage(EXE) + "ERROR: Invalid number of arguments\n" + Usage(EXE));
}

TEST_F(Cli, UnreadableInputs)
{
    fs::create_directory(dir_ / "d.p");  // a directory opens on Linux but cannot be read
    for (const std::string path : {"", "x.p", "d.p"}) {
        SCOPED_TRACE(path);
        const Result r = Run({path});
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Out, "Input file name  :  " + path + "\n");
        EXPECT_EQ(r.Err, "ERROR: Can not read file " + path + "\n");
    }
    EXPECT_EQ(Files(), (std::set<std::string>{"d.p"}));
}

TEST_F(Cli, OneByteImageAsZx81)
{
    Put("t.bin", ONE_ZERO_BYTE);
    const Result r = Run({"-81", "-zA", "t.bin"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out, T_BIN_PROGRESS);
    EXPECT_EQ(fs::file_size(dir_ / "t.wav"), 45159u);
    ExpectTape("t.wav", {166, 0x00}, 45115);
}

TEST_F(Cli, OneByteImageAsZx80)
{
    Put("t.bin", ONE_ZERO_BYTE);
    const Result r = Run({"-80", "t.bin"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out,
              "Input file name  :  t.bin\n"
              "Input file has size of 1 bytes\n"
              "Output file name : t_ZX80.wav\n"
              "ZX file name     : T\n"
              "Input file has 8 zero bits, 0 one bits\n"
              "Estimated duration of wav output: 2.436000 seconds\n"
              "Output wav file has 44542 bytes\n"
              "Done.\n");
    EXPECT_EQ(Files(), (std::set<std::string>{"t.bin", "t_ZX80.wav"}));
    ExpectTape("t_ZX80.wav", ONE_ZERO_BYTE, 44542);
}

TEST_F(Cli, HelpWithAFileConverts)
{
    Put("t.bin", ONE_ZERO_BYTE);
    const Result r = Run({"-h", "-81", "-zA", "t.bin"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, Usage(EXE));
    EXPECT_EQ(r.Out, T_BIN_PROGRESS);
    ExpectTape("t.wav", {166, 0x00});
}

TEST_F(Cli, OptionErrorsAreReportedAndTheRunGoesOn)
{
    const std::vector<uint8_t> image = Zx81Image(300, 3);
    Put("f.p", image);
    struct Case {
        std::vector<std::string> Args;
        std::string Err;
        std::string NameLine;
        std::vector<uint8_t> NameBlock;
    };
    const Case cases[] = {
        {{"-zMYPROGRAM", "f.p"},
         "ERROR: option -z: name MYPROGRAM too long\n",
         "MYPROGRA",
         {50, 62, 53, 55, 52, 44, 55, 38 | 0x80}},
        {{"-z", "f.p"}, "ERROR: option -z: name missing\n", "F", {43 | 0x80}},
        {{"-zAA", "-z", "f.p"}, "ERROR: option -z: name missing\n", "F", {43 | 0x80}},
        {{"-zAA", "-zBB", "f.p"}, "", "BB", {39, 39 | 0x80}},
        {{"-zgame", "f.p"}, "", "game", {44, 38, 50, 42 | 0x80}},
        {{"-fgame", "f.p"}, "", "game", {44, 38, 50, 42 | 0x80}},
        {{"-8", "f.p"}, "ERROR: unknown option -8\n", "F", {43 | 0x80}},
        {{"-82", "f.p"}, "ERROR: unknown option -82\n", "F", {43 | 0x80}},
        {{"-x", "f.p"}, "ERROR: unknown option -x\n", "F", {43 | 0x80}},
        {{"-", "f.p"}, "ERROR: unknown option -\n", "F", {43 | 0x80}},
        {{"-80", "-81", "f.p"}, "", "F", {43 | 0x80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Args.front());
        const Result r = Run(c.Args);
        EXPECT_EQ(r.Status, 0);
        EXPECT_EQ(r.Err, c.Err);
        EXPECT_NE(r.Out.find("ZX file name     : " + c.NameLine + "\n"), std::string::npos);
        EXPECT_NE(r.Out.find("Done.\n"), std::string::npos);
        ExpectTape("f.wav", TapeBytes(c.NameBlock, image));
    }
}

TEST_F(Cli, DotPMakesZx81EvenWithMinus80)
{
    const std::vector<uint8_t> image = Zx80Image(100, 4);
    Put("game.p", image);
    const Result r = Run({"-80", "game.p"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(Files(), (std::set<std::string>{"game.p", "game.wav"}));
    ExpectTape("game.wav", TapeBytes({44, 38, 50, 42 | 0x80}, image));
}

TEST_F(Cli, Zx80TapeNeedsNoName)
{
    const std::vector<uint8_t> image = Zx80Image(40, 5);
    Put("longname123.o", image);
    Result r = Run({"longname123.o"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out,
              "Input file name  :  longname123.o\n"
              "Input file has size of 40 bytes\n"
              "Input file is ZX80 format\n"
              "Output file name : longname123_ZX80.wav\n"
              "ZX file name     : \n"
              "Input file has 157 zero bits, 163 one bits\n"
              "Estimated duration of wav output: 3.460500 seconds\n"
              "Output wav file has 67132 bytes\n"
              "Done.\n");
    ExpectTape("longname123_ZX80.wav", image);  // a ZX80 tape has no name block

    // Every other target still needs a name.
    r = Run({"-81", "longname123.o"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "ERROR: Invalid zx file name\n");
    EXPECT_EQ(Files(), (std::set<std::string>{"longname123.o", "longname123_ZX80.wav"}));
}

TEST_F(Cli, GivenTargetSkipsDetection)
{
    struct Case {
        std::string Option;
        std::vector<uint8_t> Image;  // detected as the other machine
        std::string Output;
        std::vector<uint8_t> NameBlock;
    };
    const Case cases[] = {
        {"-80", Zx81Image(200, 14), "prog_ZX80.wav", {}},
        {"-81", Zx80Image(200, 15), "prog.wav", {53, 55, 52, 44 | 0x80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Option);
        Put("prog", c.Image);
        const Result r = Run({c.Option, "prog"});
        EXPECT_EQ(r.Status, 0);
        EXPECT_EQ(r.Out.find("Input file is"), std::string::npos);
        EXPECT_NE(r.Out.find("Output file name : " + c.Output + "\n"), std::string::npos);
        ExpectTape(c.Output, TapeBytes(c.NameBlock, c.Image));
    }
}

TEST_F(Cli, Zx81ImageIsDetected)
{
    const std::vector<uint8_t> image = Zx81Image(116, 6);
    Put("prog", image);
    const Result r = Run({"prog"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_NE(r.Out.find("Input file is ZX81 format\n"), std::string::npos);
    ExpectTape("prog.wav", TapeBytes({53, 55, 52, 44 | 0x80}, image));
}

TEST_F(Cli, ImagePassingBothTestsIsZx81)
{
    const std::vector<uint8_t> image = ImagePassingBothTests();
    Put("both", image);
    const Result r = Run({"both"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_NE(r.Out.find("Input file is ZX81 format\n"), std::string::npos);
    EXPECT_EQ(r.Out.find("ZX80"), std::string::npos);
    ExpectTape("both.wav", TapeBytes({39, 52, 57, 45 | 0x80}, image));
}

TEST_F(Cli, UnrecognisedImageIsConvertedAsZx81)
{
    const std::vector<uint8_t> image = {1, 2, 3, 4, 5};
    Put("data.bin", image);
    const Result r = Run({"data.bin"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out.find("format"), std::string::npos);
    ExpectTape("data.wav", TapeBytes({41, 38, 57, 38 | 0x80}, image));
}

TEST_F(Cli, TapeNameWithASpaceIsRejected)
{
    Put("my game.p", Zx81Image(200, 7));
    // Standard output and standard error into one log: the ERROR line comes last.
    const Result r = Run({"my game.p"}, "", true);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out,
              "Input file name  :  my game.p\n"
              "Input file has size of 200 bytes\n"
              "Input file is ZX81 format\n"
              "Output file name : my game.wav\n"
              "ZX file name     : MY GAME\n"
              "Input file has 797 zero bits, 803 one bits\n"
              "Estimated duration of wav output: 7.620500 seconds\n"
              "ERROR: ZX Filename contains invalid character ' '\n");
    EXPECT_EQ(Files(), (std::set<std::string>{"my game.p"}));
}

TEST_F(Cli, AbsolutePathIsAFileNotAnOption)
{
    const std::vector<uint8_t> image = Zx81Image(150, 8);
    Put("abs.p", image);
    const std::string path = (dir_ / "abs.p").string();
    const Result r = Run({path});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, "");
    EXPECT_NE(r.Out.find("Output file name : " + (dir_ / "abs.wav").string() + "\n"),
              std::string::npos);
    ExpectTape("abs.wav", TapeBytes({38, 39, 56 | 0x80}, image));
}

TEST_F(Cli, SlashIsNotAnOptionPrefixHere)
{
    Put("f.p", Zx81Image(150, 9));
    const Result r = Run({"/81", "f.p"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, "ERROR: Invalid number of arguments\n" + Usage(EXE));
}

TEST_F(Cli, ExistingOutputIsReplaced)
{
    const std::vector<uint8_t> image = Zx81Image(120, 10);
    Put("f.p", image);
    Put("f.wav", std::vector<uint8_t>(100000, 0x55));
    EXPECT_EQ(Run({"f.p"}).Status, 0);
    ExpectTape("f.wav", TapeBytes({43 | 0x80}, image));
}

TEST_F(Cli, OutputThatCannotBeCreatedChangesNothing)
{
    const std::vector<uint8_t> image = Zx80Image(120, 11);
    const std::string long_stem(250, 'n');  // with "_ZX80.wav", too long a name for a file
    Put("f.o", image);
    Put(long_stem + ".o", image);
    fs::create_directory(dir_ / "d_ZX80.wav");
    fs::create_symlink("missing/f.wav", dir_ / "f_ZX80.wav");  // into a missing directory
    const std::set<std::string> before = Files();
    for (const std::string& input : std::vector<std::string>{"d.o", "f.o", long_stem + ".o"}) {
        SCOPED_TRACE(input.substr(0, 10));
        if (input == "d.o") Put(input, image);
        const Result r = Run({input});
        const std::string output = input.substr(0, input.size() - 2) + "_ZX80.wav";
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Out.find("Output wav file has"), std::string::npos);
        EXPECT_EQ(r.Out.find("Done."), std::string::npos);
        EXPECT_EQ(r.Err, "ERROR: Can not open output file " + output + "\n");
        fs::remove(dir_ / "d.o");
        EXPECT_EQ(Files(), before);
    }
}

// The earlier files at the output path in the failure tests, and what each must still hold.
struct Earlier {
    std::string Name;
    std::vector<uint8_t> Bytes;
};

TEST_F(Cli, FailedWriteChangesNothing)
{
    // A small file system that the WAV (about 150 KB) cannot fit in: a real tmpfs where this
    // process may mount one, else a file size limit on the program.
    std::string setup = "trap '' XFSZ; ulimit -f 64;";
    fs::create_directory(dir_ / "small");
    const std::string small = Quoted((dir_ / "small").string());
    // The mount lies inside this test's own folder, and goes however the test ends.
    struct Unmount {
        std::string Command;
        ~Unmount()
        {
            if (!Command.empty()) std::system(Command.c_str());
        }
    } unmount;
    if (geteuid() == 0 &&
        std::system(
            ("mount -t tmpfs -o size=64k zx8xwav-test " + small + " 2>/dev/null").c_str()) == 0) {
        setup = "";
        unmount.Command = "umount " + small;
    } else {
        std::cout << "[ INFO ] cannot mount a tmpfs here: a file size limit fails the write\n";
    }
    const std::vector<uint8_t> image = Zx81Image(600, 16);
    const std::vector<uint8_t> earlier(10000, 0x55);
    Put("small/f.p", image);
    fs::create_directory(dir_ / "small" / "t");
    fs::create_symlink("t/target.wav", dir_ / "small" / "g.wav");
    fs::create_symlink("f.p", dir_ / "small" / "g.p");

    // An earlier output; a link whose target holds an earlier output; no output at all.
    struct Case {
        std::string Input;
        Earlier Before;
    };
    const Case cases[] = {
        {"small/f.p", {"small/f.wav", earlier}},
        {"small/g.p", {"small/t/target.wav", earlier}},
        {"small/f.p", {"", {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Input + " over " + c.Before.Name);
        if (!c.Before.Name.empty()) Put(c.Before.Name, c.Before.Bytes);
        const std::set<std::string> before = Tree();
        const Result r = Run({c.Input}, setup);
        EXPECT_EQ(r.Status, 1);
        const std::string output = c.Input.substr(0, c.Input.size() - 2) + ".wav";
        EXPECT_EQ(r.Err, "ERROR: Can not write output file " + output + "\n");
        EXPECT_EQ(Tree(), before);  // no temporary left, no new output, the link still a link
        EXPECT_TRUE(fs::is_symlink(dir_ / "small" / "g.wav"));
        if (!c.Before.Name.empty()) {
            EXPECT_EQ(ReadWholeFile((dir_ / c.Before.Name).string()), c.Before.Bytes);
            fs::remove(dir_ / c.Before.Name);
        }
    }
}

TEST_F(Cli, LinkedOutputIsFollowed)
{
    const std::vector<uint8_t> image = Zx81Image(120, 17);
    Put("f.p", image);
    fs::create_directory(dir_ / "t");
    Put("t/old.wav", {1, 2, 3});
    fs::create_symlink("t/old.wav", dir_ / "f.wav");
    fs::create_symlink("t/new.wav", dir_ / "g.wav");  // dangling: creates its target
    fs::create_symlink("f.p", dir_ / "g.p");
    for (const std::string input : {"f.p", "g.p"}) {
        SCOPED_TRACE(input);
        EXPECT_EQ(Run({input}).Status, 0);
    }
    EXPECT_TRUE(fs::is_symlink(dir_ / "f.wav"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "g.wav"));
    ExpectTape("t/old.wav", TapeBytes({43 | 0x80}, image));
    ExpectTape("t/new.wav", TapeBytes({44 | 0x80}, image));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "t"), fs::directory_iterator()), 2);
}

TEST_F(Cli, DeviceOutputIsWrittenInPlace)
{
    struct Case {
        std::string Device;
        int Status;
        std::string Err;
    };
    const Case cases[] = {
        {"/dev/null", 0, ""},
        {"/dev/full", 1, "ERROR: Can not write output file t.wav\n"},  // every write fails
    };
    Put("t.bin", ONE_ZERO_BYTE);
    for (const Case& c : cases) {
        if (!fs::exists(c.Device)) continue;
        SCOPED_TRACE(c.Device);
        fs::remove(dir_ / "t.wav");
        fs::create_symlink(c.Device, dir_ / "t.wav");
        const Result r = Run({"-81", "-zA", "t.bin"});
        EXPECT_EQ(r.Status, c.Status);
        EXPECT_EQ(r.Err, c.Err);
        EXPECT_TRUE(fs::is_symlink(dir_ / "t.wav"));  // the link is never removed
        EXPECT_TRUE(fs::is_character_file(c.Device));
        EXPECT_EQ(Files(), (std::set<std::string>{"t.bin", "t.wav"}));
    }
}

TEST_F(Cli, NewOutputHasTheUsualPermissions)
{
    Put("t.bin", ONE_ZERO_BYTE);
    for (const auto& [umask, mode] : {std::pair{"022", 0644}, std::pair{"027", 0640}}) {
        SCOPED_TRACE(umask);
        fs::remove(dir_ / "t.wav");
        EXPECT_EQ(Run({"-zA", "t.bin"}, std::string("umask ") + umask + ";").Status, 0);
        EXPECT_EQ(static_cast<int>(fs::status(dir_ / "t.wav").permissions()), mode);
    }
}

TEST_F(Cli, ReplacingKeepsWhatTheUserSet)
{
    Put("t.bin", ONE_ZERO_BYTE);
    const std::vector<uint8_t> earlier(1000, 0x55);
    const bool root = geteuid() == 0;
    if (!root)
        std::cout << "[ INFO ] not root: an owner cannot be given away, so it is not tried\n";
    struct Case {
        std::string What;
        int Mode;
        bool Refused;    // a file the user protected is left as it is
        bool OtherName;  // a second hard link to it, which keeps the earlier WAV
        bool GivenAway;  // owned by another user (only as root)
    };
    const Case cases[] = {
        {"private", 0600, false, false, false},       {"group-readable", 0640, false, false, false},
        {"read-only", 0444, true, false, false},      {"hard-linked", 0644, false, true, false},
        {"another user's", 0664, false, false, true},
    };
    for (const Case& c : cases) {
        if (c.GivenAway && !root) continue;
        SCOPED_TRACE(c.What);
        fs::remove(dir_ / "t.wav");
        fs::remove(dir_ / "other.wav");
        Put("t.wav", earlier);
        if (c.OtherName) fs::create_hard_link(dir_ / "t.wav", dir_ / "other.wav");
        if (c.GivenAway) {
            ASSERT_EQ(chown((dir_ / "t.wav").c_str(), 1234, 5678), 0);
        }
        fs::permissions(dir_ / "t.wav", static_cast<fs::perms>(c.Mode));
        const Result r = Run({"-81", "-zA", "t.bin"});
        EXPECT_EQ(static_cast<int>(fs::status(dir_ / "t.wav").permissions()), c.Mode);
        if (c.Refused) {
            EXPECT_EQ(r.Status, 1);
            EXPECT_EQ(r.Err, "ERROR: Can not open output file t.wav\n");
            EXPECT_EQ(ReadWholeFile((dir_ / "t.wav").string()), earlier);
        } else {
            EXPECT_EQ(r.Status, 0);
            ExpectTape("t.wav", {166, 0x00}, 45115);
        }
        if (c.OtherName) {
            EXPECT_EQ(ReadWholeFile((dir_ / "other.wav").string()), earlier);
        }
        struct stat status {};
        ASSERT_EQ(stat((dir_ / "t.wav").c_str(), &status), 0);
        EXPECT_EQ(status.st_uid, c.GivenAway ? 1234u : geteuid());
        if (c.GivenAway) {
            EXPECT_EQ(status.st_gid, 5678u);
        }
        EXPECT_EQ(Files().size(), c.OtherName ? 3u : 2u);  // no temporary left
    }
}

TEST_F(Cli, InterruptedWriteLeavesNoFile)
{
    // The largest tape takes long enough to write that a signal can arrive during the write:
    // each run is signalled the moment its temporary file appears, and never leaves it behind.
    Put("big.p", std::vector<uint8_t>(65544, 0xFF));
    const std::string input = (dir_ / "big.p").string();
    for (const int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        int interrupted = 0;
        for (int attempt = 0; attempt < 10; ++attempt) {
            const pid_t pid = fork();
            if (pid == 0) {
                freopen("/dev/null", "w", stdout);
                execl(EXE.c_str(), EXE.c_str(), "-zZZZZZZZZ", input.c_str(), nullptr);
                _exit(127);
            }
            while (Files().size() < 2 && waitpid(pid, nullptr, WNOHANG) == 0) {
            }
            kill(pid, sig);
            int status = 0;
            waitpid(pid, &status, 0);
            interrupted += WIFSIGNALED(status) && WTERMSIG(status) == sig;
            EXPECT_EQ(Files(), (std::set<std::string>{"big.p"}));
            fs::remove(dir_ / "big.wav");
        }
        EXPECT_GT(interrupted, 0);
    }
}

TEST_F(Cli, OversizedInputIsRefused)
{
    Put("big.p", std::vector<uint8_t>(65545, 0x00));
    const Result r = Run({"big.p"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "Input file name  :  big.p\n");
    EXPECT_EQ(r.Err, "ERROR: Input file big.p is too large (more than 65544 bytes)\n");
    EXPECT_EQ(Files(), (std::set<std::string>{"big.p"}));
}

TEST_F(Cli, LargestImageConverts)
{
    const std::vector<uint8_t> image(65544, 0xFF);
    Put("big.p", image);
    const Result r = Run({"-zZZZZZZZZ", "big.p"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, "");
    EXPECT_NE(r.Out.find("Input file has size of 65544 bytes\n"), std::string::npos);
    EXPECT_NE(r.Out.find("Estimated duration of wav output: 2099.824000 seconds\n"),
              std::string::npos);
    EXPECT_NE(r.Out.find("Output wav file has 46297096 bytes\n"), std::string::npos);
    ExpectTape("big.wav", TapeBytes(std::vector<uint8_t>(7, 63), TapeBytes({63 | 0x80}, image)),
               46297096);
}

TEST_F(Cli, InputIsNeverOverwritten)
{
    const std::vector<uint8_t> image = Zx81Image(120, 12);
    Put("x.wav", image);
    const Result r = Run({"x.wav"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out,
              "Input file name  :  x.wav\n"
              "Input file has size of 120 bytes\n"
              "Input file is ZX81 format\n");
    EXPECT_EQ(r.Err, "ERROR: Output file x.wav would overwrite the input file\n");
    EXPECT_EQ(ReadWholeFile((dir_ / "x.wav").string()), image);
}

TEST_F(Cli, InputReachedThroughALinkIsNeverOverwritten)
{
    const std::vector<uint8_t> image = Zx81Image(120, 13);
    Put("real.wav", image);
    fs::create_directory(dir_ / "sub");
    fs::create_symlink("../real.wav", dir_ / "sub" / "x.p");
    fs::create_symlink("../real.wav", dir_ / "sub" / "x.wav");
    const Result r = Run({"sub/x.p"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "ERROR: Output file sub/x.wav would overwrite the input file\n");
    EXPECT_EQ(ReadWholeFile((dir_ / "real.wav").string()), image);
}

TEST_F(Cli, TapeFilesPlayEveryProgramWithItsOwnNameInOrder)
{
    const std::vector<uint8_t> first = WellFormedZx81Image(3, 21);
    const std::vector<uint8_t> second = WellFormedZx81Image(1, 22);
    std::vector<uint8_t> p81 = P81Record("FIRST", first);
    const std::vector<uint8_t> record = P81Record("B2", second);
    p81.insert(p81.end(), record.begin(), record.end());
    Put("two.p81", p81);
    // The same programs as a TZX: a text, then each program with a pause as long as a .p81's.
    std::vector<uint8_t> tzx = TzxHeader();
    for (const std::vector<uint8_t>& block :
         {TzxBlock(0x30, {2, 'h', 'i'}), TzxProgramBlock(P81Record("FIRST", first), 5000),
          TzxProgramBlock(record, 0)}) {
        tzx.insert(tzx.end(), block.begin(), block.end());
    }
    Put("two.tzx", tzx);

    Result r = Run({"two.p81"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, "");
    EXPECT_NE(r.Out.find("Input file is a .p81 tape of 2 programs\n"
                         "Output file name : two.wav\n"
                         "Program 1        : ZX81 \"FIRST\", " +
                         std::to_string(first.size()) +
                         " bytes, at 1.600 seconds\n"
                         "Program 2        : ZX81 \"B2\", " +
                         std::to_string(second.size()) + " bytes, at "),
              std::string::npos)
        << r.Out;
    ExpectTape("two.wav", p81);
    const std::vector<uint8_t> from_p81 = ReadWholeFile((dir_ / "two.wav").string());
    fs::remove(dir_ / "two.wav");
    r = Run({"two.tzx"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_NE(r.Out.find("Input file is a TZX tape of 2 programs\n"), std::string::npos);
    EXPECT_TRUE(ReadWholeFile((dir_ / "two.wav").string()) == from_p81);
}

TEST_F(Cli, BadTapeFilesGiveAnErrorAndNoOutput)
{
    std::vector<uint8_t> spectrum = TzxHeader();
    const std::vector<uint8_t> header = TzxBlock(0x10, {0xE8, 0x03, 2, 0, 0, 0});
    spectrum.insert(spectrum.end(), header.begin(), header.end());
    const struct {
        std::string Name;
        std::vector<uint8_t> File;
        std::string Error;
    } cases[] = {
        {"speccy.tzx", spectrum, "ERROR: speccy.tzx holds no ZX81 or ZX80 program\n"},
        {"empty.tzx", TzxHeader(), "ERROR: empty.tzx holds no ZX81 or ZX80 program\n"},
        {"cut.tzx", std::vector<uint8_t>(spectrum.begin(), spectrum.end() - 1),
         "ERROR: cut.tzx: TZX block 1 (ID 0x10) at offset 10 is cut short by the end of the "
         "file\n"},
        {"bad.p81", std::vector<uint8_t>(300, 1),
         "ERROR: bad.p81: the .p81 record at offset 0 does not parse: no name ends within 127 "
         "bytes\n"},
        {"x.t81", P81Record("A", WellFormedZx81Image(1, 23)),
         "ERROR: x.t81 is a .t81 file, a format no document describes: save its programs as .p "
         "or .p81 files\n"},
    };
    for (const auto& c : cases) {
        Put(c.Name, c.File);
        const Result r = Run({c.Name});
        EXPECT_EQ(r.Status, 1) << c.Name;
        EXPECT_EQ(r.Err, c.Error);
        EXPECT_EQ(Files().count(c.Name.substr(0, c.Name.find('.')) + ".wav"), 0u) << c.Name;
    }
}

}  // namespace

#include "wav/output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "support/folders.h"

namespace fs = std::filesystem;

namespace {

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = FreshTestFolder("zx8xwav_output_"); }
    void TearDown() override { fs::remove_all(dir_); }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    void Put(const std::string& name, const std::string& text) const
    {
        std::ofstream(PathOf(name), std::ios::binary) << text;
    }

    std::string Read(const std::string& name) const { return FileText(PathOf(name)); }

    std::set<std::string> Files() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    // Writes `text` through the output file and closes it, as the program does.
    bool WriteThrough(const std::string& name, const std::string& text, bool written)
    {
        OutputFile output;
        if (!OpenOutputFile(PathOf(name), &output)) return false;
        // The temporary sits beside the target, with a name no longer than the target's.
        EXPECT_EQ(fs::path(output.TempPath).parent_path(),
                  fs::path(output.TargetPath).parent_path());
        EXPECT_LE(fs::path(output.TempPath).filename().string().size(), name.size());
        fputs(text.c_str(), output.Stream);
        return CloseOutputFile(&output, written);
    }

    fs::path dir_;
};

TEST_F(OutputFileTest, ReplacesAnEarlierFileOnlyWhenComplete)
{
    for (const std::string name : {"f.wav", "x", "a-rather-long-output-name_ZX80.wav"}) {
        SCOPED_TRACE(name);
        Put(name, "earlier");
        EXPECT_FALSE(WriteThrough(name, "partial", false));
        EXPECT_EQ(Read(name), "earlier");
        EXPECT_EQ(Files(), std::set<std::string>{name});
        EXPECT_TRUE(WriteThrough(name, "complete", true));
        EXPECT_EQ(Read(name), "complete");
        EXPECT_EQ(Files(), std::set<std::string>{name});
        fs::remove(PathOf(name));
    }
}

TEST_F(OutputFileTest, FailedNewOutputLeavesNothing)
{
    EXPECT_FALSE(WriteThrough("new.wav", "partial", false));
    EXPECT_TRUE(Files().empty());
    EXPECT_TRUE(WriteThrough("new.wav", "complete", true));
    EXPECT_EQ(Read("new.wav"), "complete");
}

TEST_F(OutputFileTest, InterruptRemovesTheTemporary)
{
    // What the interrupt handlers do, called directly: the temporary is gone, the earlier file
    // stays, and the close reports the failure.
    Put("f.wav", "earlier");
    OutputFile output;
    ASSERT_TRUE(OpenOutputFile(PathOf("f.wav"), &output));
    fputs("partial", output.Stream);
    RemovePendingTempFile();
    EXPECT_FALSE(CloseOutputFile(&output, true));
    EXPECT_EQ(Read("f.wav"), "earlier");
    EXPECT_EQ(Files(), std::set<std::string>{"f.wav"});
    RemovePendingTempFile();  // nothing pending: nothing happens
    EXPECT_EQ(Files(), std::set<std::string>{"f.wav"});
}

TEST_F(OutputFileTest, CannotOpenWhereNothingCanBeCreated)
{
    fs::create_directory(dir_ / "d.wav");
    OutputFile output;
    EXPECT_FALSE(OpenOutputFile(PathOf("d.wav"), &output));
    EXPECT_FALSE(OpenOutputFile(PathOf("missing/f.wav"), &output));
    EXPECT_FALSE(OpenOutputFile(PathOf(std::string(300, 'n') + ".wav"), &output));
    EXPECT_EQ(Files(), std::set<std::string>{"d.wav"});
}

}  // namespace

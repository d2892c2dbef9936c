// The library as a host that must not die uses it, loaded from libtessold.so: calls from eight
// threads at once, a file system that fills up, and message buffers too small for the messages.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "TestFiles.h"
#include "tessold.h"

namespace {

typedef int (*OldEntry)(char*, char*, char*, char*);
typedef int (*NewEntry)(tessold_request*, char*, size_t);

// The library's two entry points, loaded as a host loads them.
struct Library
{
    void* px_handle = dlopen(TESSOLD_BINARY_DIR "/libtessold.so", RTLD_NOW | RTLD_LOCAL);
    OldEntry px_old = px_handle ? reinterpret_cast<OldEntry>(dlsym(px_handle, "tessold")) : nullptr;
    NewEntry px_new = px_handle ? reinterpret_cast<NewEntry>(dlsym(px_handle, "tessold_convert")) : nullptr;
};

const Library& Loaded()
{
    static Library x_library;
    return x_library;
}

// Converts through tessold_convert; returns the result and the messages.
int ConvertNew(const std::string& s_in, const std::string& s_out, const ConfigFiles& x_cfg, std::string& s_messages)
{
    tessold_request x_request{};
    x_request.input = s_in.c_str();
    x_request.output = s_out.c_str();
    x_request.translation = x_cfg.s_trans.c_str();
    x_request.packing = x_cfg.s_pack.c_str();
    x_request.attributes = x_cfg.s_gatts.c_str();
    char s_message[4096];
    const int i_result = Loaded().px_new(&x_request, s_message, sizeof s_message);
    s_messages = s_message;
    return i_result;
}

std::string Description(int i_member)
{
    return "{\"fields\": [{\"rows\": 40, \"cols\": 50, \"blev\": " + std::to_string(100 + i_member) +
           "}, {\"stash\": 3236, \"lbvc\": 1, \"blev\": 1.5, \"rows\": 30, \"cols\": 20}]}";
}

}  // namespace

TEST(Embedding, EightThreadsConvertAtOnceAsEachWouldAlone)
{
    ASSERT_NE(Loaded().px_new, nullptr) << dlerror();
    TempDir x_dir;
    const ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    std::vector<std::string> x_inputs, x_alone;
    for (int i_member = 0; i_member < 8; ++i_member) {
        x_inputs.push_back(x_dir.File("member" + std::to_string(i_member) + ".um"));
        ASSERT_FALSE(GenerateUM(Description(i_member), x_inputs.back()).empty());
        std::string s_messages;
        ASSERT_EQ(ConvertNew(x_inputs.back(), x_dir.File("alone.nc"), x_cfg, s_messages), TESSOLD_OK) << s_messages;
        x_alone.push_back(ReadFileBytes(x_dir.File("alone.nc")));
        std::remove(x_dir.File("alone.nc").c_str());
    }
    // Half the threads use each entry point; the old one writes beside the input. Three rounds,
    // as calls that collided would not always show it the first time.
    for (int i_round = 0; i_round < 3; ++i_round) {
        std::vector<int> x_results(8, -1);
        std::vector<std::thread> x_threads;
        for (int i_member = 0; i_member < 8; ++i_member)
            x_threads.emplace_back([&, i_member]() {
                std::string s_in = x_inputs[i_member], s_trans = x_cfg.s_trans, s_pack = x_cfg.s_pack,
                            s_gatts = x_cfg.s_gatts, s_messages;
                x_results[i_member] = i_member % 2 ? Loaded().px_old(&s_in[0], &s_trans[0], &s_pack[0], &s_gatts[0])
                                                   : ConvertNew(s_in, s_in + ".nc", x_cfg, s_messages);
            });
        for (std::thread& x_thread : x_threads)
            x_thread.join();
        for (int i_member = 0; i_member < 8; ++i_member) {
            EXPECT_EQ(x_results[i_member], 0) << i_member;
            EXPECT_TRUE(ReadFileBytes(x_inputs[i_member] + ".nc") == x_alone[i_member]) << i_member;
            std::remove((x_inputs[i_member] + ".nc").c_str());
        }
    }
}

// A file system of 64 KiB fills up under the output: the call returns, and the host goes on.
TEST(Embedding, AFullFileSystemIsAResultNotAnExit)
{
    TempDir x_dir;
    const ConfigFiles x_cfg = WriteDefaultConfigs(x_dir);
    const std::string s_small = x_dir.File("small");
    ASSERT_EQ(mkdir(s_small.c_str(), 0700), 0);
    if (mount("tmpfs", s_small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const std::string s_in = x_dir.File("big.um");
    ASSERT_FALSE(GenerateUM(R"({"fields": [{"rows": 200, "cols": 300}]})", s_in).empty());
    std::string s_messages;
    EXPECT_EQ(ConvertNew(s_in, s_small + "/big.nc", x_cfg, s_messages), TESSOLD_WRITE_FAILED);
    EXPECT_NE(s_messages.find("No space left on device"), std::string::npos) << s_messages;
    EXPECT_NE(s_messages.find("Error: Output file could not be written.\n"), std::string::npos) << s_messages;
    int i_status = 0;
    EXPECT_EQ(RunCommand("ls -A '" + s_small + "'", i_status), "") << "neither the output nor its temporary file";
    umount(s_small.c_str());
    EXPECT_EQ(ConvertNew(s_in, x_dir.File("big.nc"), x_cfg, s_messages), TESSOLD_OK) << s_messages;
}

TEST(Embedding, MessagesAreCutShortSafelyAndTheirLengthIsTold)
{
    tessold_request x_request{};
    x_request.input = "/nonexistent/input.um";
    char s_message[8];
    std::memset(s_message, 'x', sizeof s_message);
    EXPECT_EQ(Loaded().px_new(&x_request, s_message, sizeof s_message), TESSOLD_FAILED);
    EXPECT_EQ(std::string(s_message), "file : ");
    EXPECT_EQ(x_request.message_length, std::string("file : /nonexistent/input.um does not exist\n").size());
    EXPECT_EQ(Loaded().px_new(nullptr, nullptr, 0), TESSOLD_FAILED);
}

#include "transport/Scramble.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "CvsRig.h"
#include "NetTestUtil.h"

using namespace fwtest;

namespace {

std::string Scrambled(std::string const& pw)
{
    std::unique_ptr<char[]> s(scramble(pw.c_str()));
    return s.get();
}

// Sends the authentication block over a plain socket and returns the answer.
std::string AuthenticateRaw(CvsRig& rig, std::string const& user, std::string const& password)
{
    int fd = ConnectLoopback(rig.Port());
    if (fd < 0)
        return "<no connection>";
    SendAll(fd, "BEGIN AUTH REQUEST\n" + rig.Repo() + "\n" + user + "\n" + Scrambled(password) +
                    "\nEND AUTH REQUEST\n");
    std::string answer = RecvLine(fd);
    close(fd);
    return answer;
}

}  // namespace

TEST(Scramble, PublishedTable)
{
    // Expected bytes from the protocol description's table.
    struct {
        char const* password;
        char const* scrambled;
    } const cases[] = {
        {"", "A"},
        {"Secret-42", "ABdh d,J1K"},
        {"zZ09_", "A>soA8"},
        {"!\"%&'()*+,-./:;<=>?", "Ax5mHlF@LCtJDWpVvnzi"},
    };
    for (auto const& c : cases)
        EXPECT_EQ(Scrambled(c.password), c.scrambled) << c.password;
}

TEST(Scramble, HighBytesAreUnsignedAndTheTableIsItsOwnInverse)
{
    // A byte above 127 must index the table as unsigned, and scrambling twice
    // gives the byte back for every byte (the server unscrambles with the
    // same table).
    EXPECT_EQ(Scrambled("\xff"), std::string("A\x98"));
    EXPECT_EQ(Scrambled("\x80"), std::string("A\xe1"));
    for (int c = 1; c < 256; ++c) {
        std::string once = Scrambled(std::string(1, static_cast<char>(c)));
        ASSERT_EQ(once.size(), 2u);
        EXPECT_EQ(Scrambled(once.substr(1)), std::string("A") + static_cast<char>(c)) << c;
    }
    // Control bytes stay what they are.
    EXPECT_EQ(Scrambled("\t"), "A\t");
}

TEST(Scramble, RealServerAcceptsRightAndRefusesWrongPasswords)
{
    CvsRig& rig = CvsRig::Shared();
    ASSERT_TRUE(rig.Ok()) << rig.Error();
    // Every printable byte and every byte above 127 in one password proves the
    // whole table against the server (control bytes map to themselves and
    // cannot travel in the line-based block).
    std::string every;
    for (int c = 32; c < 256; ++c)
        if (c != 127)
            every += static_cast<char>(c);
    ASSERT_TRUE(rig.AddAccount("every", every)) << rig.Error();

    for (auto const& account : rig.Accounts()) {
        if (account.password.empty())
            continue;
        EXPECT_EQ(AuthenticateRaw(rig, account.name, account.password), "I LOVE YOU") << account.name;
        EXPECT_EQ(AuthenticateRaw(rig, account.name, account.password + "x"), "I HATE YOU") << account.name;
    }
    EXPECT_EQ(AuthenticateRaw(rig, "anyone", "whatever"), "I LOVE YOU");
    // An unknown account is refused with an error line of its own.
    EXPECT_EQ(AuthenticateRaw(rig, "nobody-here", "pw").rfind("error 0 ", 0), 0u);
}

TEST(CvsRig, TeardownEndsItsServersAndRemovesItsFolder)
{
    std::string dir;
    int fd = -1;
    {
        CvsRig rig;
        ASSERT_TRUE(rig.Ok()) << rig.Error();
        dir = rig.Dir();
        fd = ConnectLoopback(rig.Port());
        ASSERT_GE(fd, 0);
        RigAccount const& alice = rig.Account("alice");
        SendAll(fd, "BEGIN AUTH REQUEST\n" + rig.Repo() + "\nalice\n" + Scrambled(alice.password) +
                        "\nEND AUTH REQUEST\n");
        ASSERT_EQ(RecvLine(fd), "I LOVE YOU");  // a server now waits for requests
    }
    // The server went with the rig: the connection ends at once (after the
    // server's last words about the signal).
    auto start = std::chrono::steady_clock::now();
    RecvAll(fd);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    close(fd);
    EXPECT_NE(access(dir.c_str(), F_OK), 0);
}

// Name learning: DNS and LLMNR questions and answers for both address tables,
// and the NetBIOS name service.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "analysis/netbios.h"
#include "analysis/traffic_tables.h"
#include "support/test_support.h"

namespace {

using Families = ::testing::Types<Ip4, Ip6>;
template <class F> class NameTest : public ::testing::Test {
  protected:
    void SetUp() override { resetAnalysisForTest(); }
};
TYPED_TEST_SUITE(NameTest, Families, FamilyName);

// The records a run must leave, in slot order; the other version's table stays empty.
template <class F>
void expectNames(const std::vector<std::pair<std::string, typename F::Address>>& expected) {
    ASSERT_EQ(F::namesNext(), int(expected.size()));
    EXPECT_EQ(nameTable4Next + nameTable6Next, int(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(F::names()[i].name, expected[i].first);
        EXPECT_TRUE(sameAddress(F::names()[i].address, expected[i].second));
        EXPECT_EQ(F::names()[i].noDot, expected[i].first.find('.') == std::string::npos);
    }
}

TYPED_TEST(NameTest, DnsQuestionsAndAnswers) {
    using F = TypeParam;
    using A = typename F::Address;
    const A a1 = F::remote(1), a2 = F::remote(2), none{};
    const std::string n = "www.example";
    auto query = [](const std::string& name, uint16_t type = F::qtype) {
        return dnsQuery(7, name, type);
    };
    auto answer = [](const std::string& name, uint8_t rcode, std::vector<DnsAnswer> answers) {
        return dnsResponse(7, name, F::qtype, rcode, answers);
    };
    const Bytes toQuestion = {0xC0, 0x0C};
    auto addressOf = [&](const A& a) { return DnsAnswer{F::qtype, F::data(a), toQuestion}; };
    const Bytes full = answer(n, 0, {addressOf(a1)}), truncated = firstBytes(full, full.size() - 2);
    // Labels of 63, 63, 63, 3, 60 (does not fit), 2, 56 (one too many), 55 (fits to 254), 1.
    const std::string a63(63, 'a'), b63(63, 'b'), c63(63, 'c');
    const std::string tooLong = a63 + "." + b63 + "." + c63 + ".eee." + std::string(60, 'x') +
                                ".ok." + std::string(56, 'y') + "." + std::string(55, 'f') + ".z";
    const std::string kept = a63 + "." + b63 + "." + c63 + ".eee.ok." + std::string(55, 'f');
    const Bytes labelThenPointer =
        cat({messageHeader(0x0100, 1, 0), {3, 'w', 'w', 'w', 0xC0, 0x0C}, be16(F::qtype), be16(1)});
    struct Case {
        const char* what;
        std::vector<Bytes> messages;
        std::vector<std::pair<std::string, A>> records;
    };
    const Case cases[] = {
        {"CNAME then address",
         {query(n), answer(n, 0, {{5, dnsName("edge.example")}, addressOf(a1)})},
         {{n, a1}}},
        {"NXDOMAIN", {query(n), answer(n, 3, {addressOf(a1)})}, {{n, none}}},
        {"second question", {query(n), query(n)}, {{n, none}}},
        {"question after answer", {answer(n, 0, {addressOf(a1)}), query(n)}, {{n, a1}}},
        {"second address",
         {answer(n, 0, {addressOf(a1)}), answer(n, 0, {addressOf(a2)}),
          answer(n, 0, {addressOf(a1)})},
         {{n, a1}, {n, a2}}},
        {"first usable answer only",
         {answer(n, 0, {{F::qtype, Bytes(3, 1)}, addressOf(a1), addressOf(a2)})},
         {{n, a1}}},
        {"owner name ignored",
         {answer(n, 0, {{F::qtype, F::data(a1), dnsName("other.example")}})},
         {{n, a1}}},
        {"wildcard", {query("*"), answer("*", 0, {addressOf(a1)})}, {}},
        {"MX question", {query(n, 15)}, {}},
        {"type 256 + A or AAAA", {query(n, uint16_t(256 + F::qtype))}, {}},
        {"trailing spaces", {query("host  ")}, {{"host", none}}},
        {"label then pointer", {labelThenPointer}, {{"www", none}}},
        {"over-long label", {query(tooLong)}, {{kept, none}}},
        {"truncated answer", {query(n), truncated}, {{n, none}}},
        {"question without type", {firstBytes(query(n), 12 + 13)}, {}},
        {"shorter than a header", {Bytes(11, 0)}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetAnalysisForTest();
        for (const Bytes& m : c.messages) feedFrame(dnsIn<F>(m));
        expectNames<F>(c.records);
    }
}

TYPED_TEST(NameTest, AnswerWithoutQuestionGoesUnderTheEmptyName) {
    using F = TypeParam;
    const Bytes data = F::data(F::remote(1));
    feedFrame(dnsIn<F>(cat({messageHeader(0x8180, 0, 1), dnsName("x.example"), be16(F::qtype),
                            be16(1), be32(60), be16(uint16_t(data.size())), data})));
    EXPECT_STREQ(lookupName4(Ip4::remote(1)), F::isIpv4 ? "" : "notfound");
    EXPECT_STREQ(lookupName6(Ip6::remote(1)), F::isIpv4 ? "notfound" : "");
}

std::string encoded(const std::string& name, uint8_t suffix) {
    Bytes b = netbiosName(name, suffix);
    return std::string(b.begin() + 1, b.begin() + 33);
}

TEST(NetbiosTest, DecodesFirstLevelLabels) {
    const struct {
        std::string label, name;
    } cases[] = {
        {encoded("KVAHOST", 0x20), "KVAHOST        "}, // padding stays; the parser trims it
        {encoded("ABCDEFGHIJKLMNO", 0x1C), "ABCDEFGHIJKLMNO"},
        {"EBECAAED", "AB"}, // a zero byte ends the name
        {"EBECeD", "AB"},   // lower case is no valid pair
        {"EBEQEC", "A"},    // nor is a letter after P
        {"EBE", "A"},
        {encoded("KVAHOST", 0x20) + "A", ""},
        {encoded("KVAHOST", 0x20) + "AA", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        char out[64];
        decodeNetbiosName(reinterpret_cast<const uint8_t*>(c.label.data()), c.label.size(), out);
        EXPECT_EQ(out, c.name);
    }
}

TEST(NetbiosTest, NameServiceMessages) {
    const Address4 address = addr4("192.0.2.7"), other = addr4("192.0.2.8"), none = 0;
    const Bytes host = netbiosName("KVAHOST", 0x1B); // padded, suffix to cut
    auto query = [](const Bytes& name, uint16_t type) {
        return cat({messageHeader(0x0110, 1, 0), name, be16(type), be16(1)});
    };
    auto nb = [](const Bytes& owner, const Bytes& data) {
        return cat({owner, be16(32), be16(1), be32(300), be16(uint16_t(data.size())), data});
    };
    const Bytes entry = cat({be16(0), Ip4::data(address)}),
                entry2 = cat({be16(0), Ip4::data(other)});
    const Bytes pointer = {0xC0, 0x0C};
    struct Case {
        const char* what;
        std::vector<Bytes> messages;
        std::vector<std::pair<std::string, Address4>> records;
    };
    const Case cases[] = {
        {"query", {query(host, 32), query(host, 32)}, {{"KVAHOST", none}}},
        {"answer without question",
         {query(host, 32), cat({messageHeader(0x8500, 0, 1), nb(host, entry)})},
         {{"KVAHOST", address}}},
        {"scope",
         {query(netbiosName("ABCDEFGHIJKLMNO", 0x20, "corp.example"), 32)},
         {{"ABCDEFGHIJKLMNO.corp.example", none}}},
        {"node status", {query(host, 33)}, {}},
        {"wildcard", {query(netbiosName("*", 0x00), 32)}, {}},
        {"negative answer",
         {query(host, 32),
          cat({messageHeader(0x8503, 1, 1), host, be16(32), be16(1), nb(pointer, entry)})},
         {{"KVAHOST", none}}},
        {"group answer skipped",
         {cat({messageHeader(0x8500, 1, 2), host, be16(32), be16(1),
               nb(pointer, cat({entry2, entry2})), nb(pointer, entry)})},
         {{"KVAHOST", address}}},
        {"other record type skipped",
         {cat({messageHeader(0x8500, 1, 2), host, be16(32), be16(1), pointer, be16(33), be16(1),
               be32(0), be16(6), entry2, nb(pointer, entry)})},
         {{"KVAHOST", address}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetAnalysisForTest();
        for (const Bytes& m : c.messages)
            feedFrame(outgoing(
                ipv4Packet(Ip4::local(), addr4("192.0.2.255"), 17, udpDatagram(137, 137, m))));
        expectNames<Ip4>(c.records);
    }
}

} // namespace

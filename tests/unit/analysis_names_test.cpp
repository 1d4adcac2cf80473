// Name learning: DNS and LLMNR questions and answers for both address tables,
// and the NetBIOS name service.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "analysis/traffic_tables.h"
#include "support/test_support.h"

namespace {

using Families = ::testing::Types<Ip4, Ip6>;
template <class F> class NameTest : public ::testing::Test {
  protected:
    void SetUp() override { resetAnalysisForTest(); }
};
TYPED_TEST_SUITE(NameTest, Families, FamilyName);

// Feeds each case's messages from empty tables; the records it must leave are
// listed in slot order, and the other version's table stays empty.
template <class F, class Case, class Feed> void expectNames(const Case& c, Feed feed) {
    SCOPED_TRACE(c.what);
    resetAnalysisForTest();
    for (const Bytes& m : c.messages) feed(m);
    ASSERT_EQ(F::namesNext(), int(c.records.size()));
    EXPECT_EQ(nameTable4Next + nameTable6Next, int(c.records.size()));
    for (size_t i = 0; i < c.records.size(); ++i) {
        EXPECT_EQ(F::names()[i].name, c.records[i].first) << i;
        EXPECT_TRUE(sameAddress(F::names()[i].address, c.records[i].second)) << i;
        EXPECT_EQ(F::names()[i].noDot, c.records[i].first.find('.') == std::string::npos) << i;
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
    const Bytes full = answer(n, 0, {addressOf(a1)});
    // Labels of 63, 63, 63, 3, 60 (does not fit), 2, 56 (one too many), 55 (fits to 254), 1.
    const std::string abc =
        std::string(63, 'a') + "." + std::string(63, 'b') + "." + std::string(63, 'c') + ".eee.";
    const std::string f55(55, 'f'),
        tooLong = abc + std::string(60, 'x') + ".ok." + std::string(56, 'y') + "." + f55 + ".z";
    const struct {
        const char* what;
        std::vector<Bytes> messages;
        std::vector<std::pair<std::string, A>> records;
    } cases[] = {
        {"CNAME then address",
         {query(n), answer(n, 0, {{5, dnsName("edge.example")}, addressOf(a1)})},
         {{n, a1}}},
        {"NXDOMAIN", {query(n), answer(n, 3, {addressOf(a1)})}, {{n, none}}},
        {"second question", {query(n), query(n)}, {{n, none}}},
        {"second address", {full, answer(n, 0, {addressOf(a2)}), full}, {{n, a1}, {n, a2}}},
        {"first usable answer only",
         {answer(n, 0, {{F::qtype, Bytes(3, 1)}, addressOf(a1), addressOf(a2)})},
         {{n, a1}}},
        {"owner name ignored",
         {answer(n, 0, {{F::qtype, F::data(a1), dnsName("other.example")}})},
         {{n, a1}}},
        {"wildcard", {query("*"), answer("*", 0, {addressOf(a1)})}, {}},
        {"type 256 + A or AAAA", {query(n, uint16_t(256 + F::qtype))}, {}},
        {"trailing spaces", {query("host  "), answer("host ", 0, {addressOf(a1)})}, {{"host", a1}}},
        {"label then pointer",
         {cat({messageHeader(0x0100, 1, 0), {3, 'w', 'w', 'w', 0xC0, 0x0C}, be16(F::qtype)})},
         {{"www", none}}},
        {"over-long label", {query(tooLong)}, {{abc + "ok." + f55, none}}},
        {"truncated answer", {query(n), firstBytes(full, full.size() - 2)}, {{n, none}}},
        {"question without type", {firstBytes(query(n), 12 + 13)}, {}},
    };
    for (const auto& c : cases) expectNames<F>(c, [](const Bytes& m) { feedFrame(dnsIn<F>(m)); });

    // An answer without a question goes under the empty name.
    resetAnalysisForTest();
    const Bytes data = F::data(a1);
    feedFrame(dnsIn<F>(cat({messageHeader(0x8180, 0, 1), dnsName("x.example"), be16(F::qtype),
                            be16(1), be32(60), be16(uint16_t(data.size())), data})));
    EXPECT_STREQ(lookupName4(Ip4::remote(1)), F::isIpv4 ? "" : "notfound");
    EXPECT_STREQ(lookupName6(Ip6::remote(1)), F::isIpv4 ? "notfound" : "");
}

TEST(NetbiosTest, NameServiceMessages) {
    const Address4 address = addr4("192.0.2.7"), other = addr4("192.0.2.8"), none = 0;
    const Bytes host = netbiosName("KVAHOST", 0x1B);                // padded, suffix to cut
    const std::string encoded(host.begin() + 1, host.begin() + 33); // its 32-byte label
    auto query = [](const Bytes& name, uint16_t type) {
        return cat({messageHeader(0x0110, 1, 0), name, be16(type), be16(1)});
    };
    // A response: header, the question (when given), then the answers.
    auto response = [&](uint16_t flags, bool question, std::vector<Bytes> answers) {
        Bytes b = cat({messageHeader(flags, question, uint16_t(answers.size())),
                       question ? cat({host, be16(32), be16(1)}) : Bytes{}});
        for (const Bytes& a : answers) b = cat({b, a});
        return b;
    };
    auto answer = [](const Bytes& owner, uint16_t type, const Bytes& data) {
        return cat({owner, be16(type), be16(1), be32(300), be16(uint16_t(data.size())), data});
    };
    const Bytes entry = cat({be16(0), Ip4::data(address)}),
                entry2 = cat({be16(0), Ip4::data(other)});
    const Bytes pointer = {0xC0, 0x0C};
    const struct {
        const char* what;
        std::vector<Bytes> messages;
        std::vector<std::pair<std::string, Address4>> records;
    } cases[] = {
        {"query", {query(host, 32), query(host, 32)}, {{"KVAHOST", none}}},
        {"answer without question",
         {query(host, 32), response(0x8500, false, {answer(host, 32, entry)})},
         {{"KVAHOST", address}}},
        {"15 characters, no suffix, and a scope",
         {query(netbiosName("ABCDEFGHIJKLMNO", 0x20, "corp.example"), 32)},
         {{"ABCDEFGHIJKLMNO.corp.example", none}}},
        {"node status", {query(host, 33)}, {}},
        {"lower case or a letter after P ends the name",
         {query(dnsName("EBECeD"), 32), query(dnsName("EBEQEC"), 32)},
         {{"AB", none}, {"A", none}}},
        {"label over 32 bytes", {query(dnsName(encoded + "A"), 32)}, {}},
        {"negative answer",
         {query(host, 32), response(0x8503, true, {answer(pointer, 32, entry)})},
         {{"KVAHOST", none}}},
        {"group answer skipped; with a question, no owner name is read",
         {response(0x8500, true,
                   {answer(pointer, 32, cat({entry2, entry2})), answer(host, 32, entry)})},
         {{"KVAHOST", address}}},
        {"without a question, a group answer keeps the padding the next owner name follows",
         {response(0x8500, false,
                   {answer(host, 32, cat({entry2, entry2})), answer(host, 32, entry)})},
         {{"KVAHOST        ." + encoded, address}}},
        {"other record type skipped",
         {response(0x8500, true, {answer(pointer, 33, entry2), answer(pointer, 32, entry)})},
         {{"KVAHOST", address}}},
    };
    for (const auto& c : cases)
        expectNames<Ip4>(c, [](const Bytes& m) {
            feedFrame(outgoing(
                ipv4Packet(Ip4::local(), addr4("192.0.2.255"), 17, udpDatagram(137, 137, m))));
        });
}

} // namespace

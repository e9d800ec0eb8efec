// Pure discovery and station-name rules: the private-address choice, the
// station name, UTF-8 validation and the announcement parser.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "client/announcement.h"
#include "client/station_name.h"

namespace {

using vantrel::AnnouncedAddress;
using vantrel::ChoosePrivateAddress;
using vantrel::IsValidUtf8;
using vantrel::ParseAnnouncement;
using vantrel::StationName;

struct ChoiceCase {
  const char* label;
  std::vector<std::string> addresses;
  std::string chosen;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.label; }

class AddressChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(AddressChoice, FirstPrivateAddressInListOrderWins) {
  EXPECT_EQ(ChoosePrivateAddress(GetParam().addresses), GetParam().chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, AddressChoice,
    ::testing::Values(ChoiceCase{"LinkLocalSkipped", {"169.254.10.20", "192.168.56.1", "10.1.2.3"}, "192.168.56.1"},
                      ChoiceCase{"Only172From16To31", {"172.15.0.9", "172.32.0.9", "172.31.4.5"}, "172.31.4.5"},
                      ChoiceCase{"Lowest172", {"172.16.0.1"}, "172.16.0.1"},
                      ChoiceCase{"NoPrivateAddress", {"100.64.3.4", "11.0.0.1", "192.169.0.1"}, ""},
                      ChoiceCase{"Empty", {}, ""}, ChoiceCase{"OnlyIPv6", {"::1", "fe80::1", "fd00::2"}, ""},
                      ChoiceCase{"TenIsTheWholeFirstNumber", {"100.64.0.1", "110.0.0.1"}, ""},
                      ChoiceCase{"NoPreferenceBetweenRanges", {"8.8.8.8", "10.0.0.1", "192.168.0.1"}, "10.0.0.1"},
                      ChoiceCase{"EndsTrimmed", {" \t10.0.0.5\r\n"}, "10.0.0.5"},
                      ChoiceCase{"SecondNumberWithLeadingZero", {"172.016.0.1"}, "172.016.0.1"},
                      ChoiceCase{"SecondNumberNotDecimal", {"172.x.0.1", "172..0.1", "172.+16.0.1", "172. 16.0.1"}, ""},
                      ChoiceCase{"SecondNumberTooLarge", {"172.99999999999999999999.0.1", "172.4294967312.0.1"}, ""},
                      ChoiceCase{"TestNetIsPublic", {"192.0.2.2"}, ""}),
    [](const auto& info) { return std::string(info.param.label); });

struct NameCase {
  const char* label;
  std::string address;
  std::string name;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

class StationNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(StationNames, JoinThirdAndFourthNumber) { EXPECT_EQ(StationName(GetParam().address), GetParam().name); }

INSTANTIATE_TEST_SUITE_P(Addresses, StationNames,
                         ::testing::Values(NameCase{"OneTwoThree", "192.168.1.23", "KXD-123"},
                                           NameCase{"SameNameOtherAddress", "192.168.12.3", "KXD-123"},
                                           NameCase{"ZerosKept", "10.0.0.5", "KXD-05"},
                                           NameCase{"Longest", "172.20.100.200", "KXD-100200"},
                                           NameCase{"LeadingZerosKept", "10.0.007.010", "KXD-007010"},
                                           NameCase{"NoAddress", "", "KXD-"}, NameCase{"TwoPieces", "10.1", "KXD-"},
                                           NameCase{"ThreePieces", "10.1.2", "KXD-2"},
                                           NameCase{"EmptyPiecesDropped", "10..1.2.3", "KXD-23"},
                                           NameCase{"LeadingBlanksOfPiecesSkipped", "10. 1. 2. 3", "KXD-23"}),
                         [](const auto& info) { return std::string(info.param.label); });

struct Utf8Case {
  const char* label;
  std::string bytes;
  bool valid;
};

void PrintTo(const Utf8Case& c, std::ostream* os) { *os << c.label; }

class Utf8 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8, AcceptsOnlyWellFormedText) { EXPECT_EQ(IsValidUtf8(GetParam().bytes), GetParam().valid); }

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8,
    ::testing::Values(Utf8Case{"Empty", "", true}, Utf8Case{"Ascii", "Camera (1.2.3.4)", true},
                      Utf8Case{"Nul", std::string("a\0b", 3), true},
                      Utf8Case{"TwoBytes",
                               "K\xC3\xBC"
                               "che",
                               true},
                      Utf8Case{"ThreeBytes", "\xE2\x82\xAC", true}, Utf8Case{"FourBytes", "\xF0\x9F\x98\x80", true},
                      Utf8Case{"Highest", "\xF4\x8F\xBF\xBF", true},
                      Utf8Case{"LastBeforeSurrogates", "\xED\x9F\xBF", true},
                      Utf8Case{"LoneContinuation", "\x80", false}, Utf8Case{"OverlongSlash", "\xC0\xAF", false},
                      Utf8Case{"OverlongC1", "\xC1\xBF", false}, Utf8Case{"OverlongThree", "\xE0\x80\xAF", false},
                      Utf8Case{"OverlongFour", "\xF0\x80\x80\xAF", false}, Utf8Case{"Surrogate", "\xED\xA0\x80", false},
                      Utf8Case{"AboveHighest", "\xF4\x90\x80\x80", false},
                      Utf8Case{"LeadF5", "\xF5\x80\x80\x80", false}, Utf8Case{"CutAtEnd", "Cam\xC3", false},
                      Utf8Case{"CutThree", "\xE2\x82", false}, Utf8Case{"AsciiAfterLead", "\xC3(", false},
                      Utf8Case{"ByteFF", "Cam\xFF (1.2.3.4)", false},
                      Utf8Case{"Latin1",
                               "K\xFC"
                               "che (1.2.3.4)",
                               false}),
    [](const auto& info) { return std::string(info.param.label); });

struct AnnouncementCase {
  const char* label;
  std::string payload;
  bool accepted;
  std::string text = {};
  std::string name = {};
  std::optional<std::string> address = {};
};

void PrintTo(const AnnouncementCase& c, std::ostream* os) { *os << c.label; }

class Announcements : public ::testing::TestWithParam<AnnouncementCase> {};

TEST_P(Announcements, ParsedAsDevicesSend) {
  const AnnouncementCase& c = GetParam();
  const auto parsed = ParseAnnouncement(c.payload);
  ASSERT_EQ(parsed.has_value(), c.accepted);
  if (!parsed) return;
  EXPECT_EQ(parsed->text, c.text);
  EXPECT_EQ(parsed->name, c.name);
  EXPECT_EQ(AnnouncedAddress(parsed->text), c.address);
}

const std::string kCameraAt50 = "Camera (192.168.1.50)";

INSTANTIATE_TEST_SUITE_P(
    Payloads, Announcements,
    ::testing::Values(
        AnnouncementCase{"Plain", kCameraAt50, true, kCameraAt50, "Camera", "192.168.1.50"},
        AnnouncementCase{"EndsTrimmed", "  " + kCameraAt50 + "\r\n", true, kCameraAt50, "Camera", "192.168.1.50"},
        AnnouncementCase{"NoBlankBeforeParenthesis", "Camera(192.168.1.50)", true, "Camera(192.168.1.50)", "Camera",
                         "192.168.1.50"},
        AnnouncementCase{"NameWithBlanks", "Front Door \t (10.0.0.9)", true, "Front Door \t (10.0.0.9)", "Front Door",
                         "10.0.0.9"},
        AnnouncementCase{"NonAsciiName",
                         "Kamera K\xC3\xBC"
                         "che (10.0.0.7)",
                         true,
                         "Kamera K\xC3\xBC"
                         "che (10.0.0.7)",
                         "Kamera K\xC3\xBC"
                         "che",
                         "10.0.0.7"},
        AnnouncementCase{"FirstParenthesesCount", "Cam (2) (192.168.1.50)", true, "Cam (2) (192.168.1.50)", "Cam", "2"},
        AnnouncementCase{"NoClosingParenthesis", "Camera (192.168.1.50", true, "Camera (192.168.1.50", "Camera",
                         std::nullopt},
        AnnouncementCase{"ClosingBeforeOpening", "Cam )(10.0.0.1)", true, "Cam )(10.0.0.1)", "Cam )", "10.0.0.1"},
        AnnouncementCase{"AddressTrimmed", "Cam ( 10.0.0.1\t)", true, "Cam ( 10.0.0.1\t)", "Cam", "10.0.0.1"},
        AnnouncementCase{"EmptyAddress", "Cam ()", true, "Cam ()", "Cam", ""},
        AnnouncementCase{"NotAnAddress", "Cam (kitchen)", true, "Cam (kitchen)", "Cam", "kitchen"},
        AnnouncementCase{"NulInName", std::string("Ca\0m (1.2.3.4)", 14), true, std::string("Ca\0m (1.2.3.4)", 14),
                         std::string("Ca\0m", 4), "1.2.3.4"},
        AnnouncementCase{"LeadingParenthesis", "(192.168.1.50)", false},
        AnnouncementCase{"OnlyBlanksBeforeParenthesis", " \x01\t (192.168.1.50)", false},
        AnnouncementCase{"NoParenthesis", "Camera 192.168.1.50", false},
        AnnouncementCase{"OnlyClosingParenthesis", "Camera 192.168.1.50)", false}, AnnouncementCase{"Empty", "", false},
        AnnouncementCase{"OnlyBlanksAndControls", " \t\r\n\x1F ", false},
        AnnouncementCase{"InvalidUtf8", "Camera\xFF (192.168.1.50)", false},
        AnnouncementCase{"InvalidUtf8InBlanks", "Camera (192.168.1.50)\xC0", false}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace

#include <gtest/gtest.h>

#include <QString>

#include "config/connection_settings.h"
#include "remote/answer_text.h"
#include "remote/query_encoding.h"
#include "remote/request_url.h"
#include "remote/station_address.h"

namespace wavenard {
namespace {

TEST(QueryValueEncoding, Table) {
  const struct {
    QString Text;
    QByteArray Encoded;
  } Cases[] = {
      {u""_qs, ""},
      {u"a b&c~é"_qs, "a+b%26c%7E%C3%A9"},
      {u"AZaz09!$'()*-.@_"_qs, "AZaz09!$'()*-.@_"},
      {u"~&=+%/,:;\"#<>?[]^`{|}\\"_qs, "%7E%26%3D%2B%25%2F%2C%3A%3B%22%23%3C%3E%3F%5B%5D%5E%60%7B%7C%7D%5C"},
      {QString::fromLatin1("\x01\t\x7F"), "%01%09%7F"},
      {u"x&y"_qs, "x%26y"},
      {u"€"_qs, "%E2%82%AC"},
      {QString::fromUcs4(U"\U0001F600"), "%F0%9F%98%80"},
      {QString(QChar(0xD800)) + u"a"_qs, "%EF%BF%BDa"},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(EncodeQueryValue(Case.Text), Case.Encoded) << Case.Text.toStdString();
  }
}

TEST(BuildURL, Table) {
  const struct {
    QString Server;
    qint32 Port;
    QString User;
    QString Pass;
    bool Credentials;
    QString URL;
  } Cases[] = {
      {u"st"_qs, 8080, u"a b"_qs, u"x&y"_qs, true, u"http://st:8080/?user=a+b&pass=x%26y"_qs},
      {u"st"_qs, 8080, u"a b"_qs, u"x&y"_qs, false, u"http://st:8080"_qs},
      {u"st"_qs, 0, u"u"_qs, u""_qs, true, u"http://st:0/?user=u&pass="_qs},
      {u"st"_qs, -5, u""_qs, u""_qs, true, u"http://st:-5/?user=&pass="_qs},
      {u"st:81"_qs, 80, u"u"_qs, u"o'k"_qs, true, u"http://st:81:80/?user=u&pass=o'k"_qs},
      // Place markers in the server name stay as they are.
      {u"h%1%2%3"_qs, 81, u"u"_qs, u"p"_qs, true, u"http://h%1%2%3:81/?user=u&pass=p"_qs},
      // A scheme in front of the host picks it; the rest stays as typed but for one final "/".
      {u"https://st"_qs, 8443, u"u"_qs, u"p"_qs, true, u"https://st:8443/?user=u&pass=p"_qs},
      {u"HTTPS://St.Example/"_qs, 0, u"u"_qs, u"p"_qs, false, u"https://St.Example:0"_qs},
      {u"hTTp://st/"_qs, 81, u"u"_qs, u"p"_qs, false, u"http://st:81"_qs},
      {u"https://st//"_qs, 1, u"u"_qs, u"p"_qs, false, u"https://st/:1"_qs},
      // A bare host keeps a slash, as it always has: the URL then does not parse.
      {u"st/"_qs, 81, u"u"_qs, u"p"_qs, false, u"http://st/:81"_qs},
      {u"https:/st"_qs, 81, u"u"_qs, u"p"_qs, false, u"http://https:/st:81"_qs},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(BuildURL({Case.Server, Case.Port, Case.User, Case.Pass}, Case.Credentials), Case.URL);
  }
}

// What the HTTP client is given for a URL: the port to connect to and the normalized target.
TEST(ParseRequestURL, Table) {
  const struct {
    QString URL;
    QByteArray Transfer;  // empty: invalid
  } Cases[] = {
      {u"http://st:8080/?user=a+b&pass=x%26y&action=getplaylist2"_qs,
       "http://st:8080/?user=a+b&pass=x%26y&action=getplaylist2"},
      {u"http://st:0/?user=u&pass=&action=getplaylist2"_qs, "http://st:80/?user=u&pass=&action=getplaylist2"},
      {u"http://st:-5/?user=u"_qs, "http://st:80/?user=u"},
      {u"http://st:-2147483648"_qs, "http://st:80/"},
      {u"http://st:65535"_qs, "http://st:65535/"},
      {u"http://[::1]:8080/?a=b"_qs, "http://[::1]:8080/?a=b"},
      {u"http://st:80/?user=o'k&pass=o'k%C3%A9&action=x"_qs,
       "http://st:80/?user=o%27k&pass=o'k%C3%A9&action=x"},
      {u"http://st:80/?user=%7E&pass=~"_qs, "http://st:80/?user=%7E&pass=~"},
      {u"http://st:80/a b/?x=1#frag"_qs, "http://st:80/a%20b/?x=1"},
      {u"http://st:65536/"_qs, ""},
      {u"http://st:81:80/?user=u"_qs, ""},
      {u"http://st/x:80/?user=u"_qs, ""},
      {u"http://st:/"_qs, ""},
      {u"http://:80/"_qs, ""},
      {u"http://my host:80/"_qs, ""},
      {u"http://me@st:80/"_qs, ""},
      {u"http://[::1/"_qs, ""},
      {u"ftp://st:21/"_qs, ""},
      {u"https://st:0/?a=b"_qs, "https://st:443/?a=b"},
      {u"HTTPS://st:-1"_qs, "https://st:443/"},
      {u"https://st:8443/?user=o'k"_qs, "https://st:8443/?user=o%27k"},
      {u"https://st:81:80/"_qs, ""},
  };
  for (const auto& Case : Cases) {
    const auto Address = ParseRequestURL(Case.URL);
    if (Case.Transfer.isEmpty()) {
      EXPECT_FALSE(Address.has_value()) << Case.URL.toStdString();
    } else {
      ASSERT_TRUE(Address.has_value()) << Case.URL.toStdString();
      EXPECT_EQ(Address->TransferURL(), Case.Transfer);
    }
  }
}

TEST(IsLoopbackHost, Table) {
  const struct {
    QString Host;
    bool Loopback;
  } Cases[] = {
      {u"localhost"_qs, true},
      {u"LocalHost."_qs, true},
      {u"studio.localhost"_qs, true},
      {u"127.0.0.1"_qs, true},
      {u"127.255.3.4"_qs, true},
      {u"::1"_qs, true},
      {u"[::1]"_qs, true},
      {u"0:0:0:0:0:0:0:1"_qs, true},
      {u"localhost.example"_qs, false},
      {u"128.0.0.1"_qs, false},
      {u"127.0.0.256"_qs, false},
      {u"127.0.0"_qs, false},
      {u"1::"_qs, false},
      {u"::2"_qs, false},
      {u"192.168.1.10"_qs, false},
      {u"station.example"_qs, false},
      {u""_qs, false},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(IsLoopbackHost(Case.Host), Case.Loopback) << Case.Host.toStdString();
  }
}

TEST(NormalizeQuery, EncodesOnlyNamesAndValuesWithoutAPercentEscape) {
  const struct {
    QString Query;
    QByteArray Normalized;
  } Cases[] = {
      {u"a=<b>&c=\"d\"&é=1"_qs, "a=%3Cb%3E&c=%22d%22&%C3%A9=1"},
      {u"a=b c&d='"_qs, "a=b%20c&d=%27"},
      {u"a=50%&b=%41%'"_qs, "a=50%25&b=%41%'"},
      {u"=x'&y&&z=1=2'"_qs, "=x%27&y&&z=1=2%27"},
      {u"user=a+b&pass=x%26y'"_qs, "user=a+b&pass=x%26y'"},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(NormalizeQuery(Case.Query), Case.Normalized) << Case.Query.toStdString();
  }
}

TEST(MaskPassword, HidesEveryPasswordValue) {
  EXPECT_EQ(MaskPassword(u"http://st:1:2/?user=u&pass=s%26cret&action=getplaylist2"_qs),
            u"http://st:1:2/?user=u&pass=***&action=getplaylist2"_qs);
  EXPECT_EQ(MaskPassword(u"http://st:1:2/?user=u&pass="_qs), u"http://st:1:2/?user=u&pass=***"_qs);
  EXPECT_EQ(MaskPassword(u"http://st:1:2"_qs), u"http://st:1:2"_qs);
  // A server name holding '?', '#' or '&' and "pass=" of its own: every password is hidden.
  EXPECT_EQ(MaskPassword(u"http://h?a#b:80/?user=u&pass=secret&action=x"_qs),
            u"http://h?a#b:80/?user=u&pass=***&action=x"_qs);
  // A value runs to the next '&' or '#': more is hidden rather than less.
  EXPECT_EQ(MaskPassword(u"http://h?pass=x#y&pass=z:80/?user=u&pass=secret"_qs),
            u"http://h?pass=***#y&pass=***&pass=***"_qs);
  EXPECT_EQ(MaskPassword(u"http://h:80/?user=bypass=1&pass=secret"_qs),
            u"http://h:80/?user=bypass=1&pass=***"_qs);
}

TEST(DecodeAnswerBody, FollowsTheCharsetParameter) {
  const struct {
    QByteArray ContentType;
    QByteArray Body;
    std::optional<QString> Text;
  } Cases[] = {
      {"", "caf\xC3\xA9", u"café"_qs},
      {"text/xml", "caf\xC3\xA9", u"café"_qs},
      {"text/xml; charset=UTF-8", "caf\xC3\xA9", u"café"_qs},
      {"text/xml;Charset=\"uTf-8\"", "caf\xC3\xA9", u"café"_qs},
      {"text/xml; charset= iso-8859-1 ", "caf\xE9", u"café"_qs},
      {"text/xml; format=x; charset=\"windows-1252\"", "\x80", u"€"_qs},
      {"text/xml; charset=x-no-such-charset", "abc", std::nullopt},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(DecodeAnswerBody(Case.Body, Case.ContentType), Case.Text) << Case.ContentType.toStdString();
  }
}

}  // namespace
}  // namespace wavenard

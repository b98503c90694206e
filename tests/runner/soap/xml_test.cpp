// The element-sequence extractor the SOAP tests check messages with.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/runner/soap/soap_support.h"

using namespace soaptest;

TEST(XmlElements, ResolvePrefixesInTheirScopeAndKeepLeafTexts) {
    const std::string xml =
        "<?xml version=\"1.0\"?><!-- c --><a:r xmlns:a=\"urn:A\" xmlns=\"urn:D\">"
        "<x>1 &lt; 2</x><a:y xmlns:a=\"urn:B\"><a:z/></a:y><a:w b=\"q>\"></a:w></a:r>";
    const std::vector<XmlElement> e = xmlElements(xml);
    ASSERT_EQ(5u, e.size());
    EXPECT_EQ("urn:A", e[0].uri);
    EXPECT_FALSE(e[0].leaf);
    EXPECT_EQ("urn:D", e[1].uri);
    EXPECT_EQ("x", e[1].local);
    EXPECT_EQ("1 < 2", e[1].text);
    EXPECT_EQ("urn:B", e[2].uri);  // redeclared for y and its children
    EXPECT_EQ("urn:B", e[3].uri);
    EXPECT_EQ(2, e[3].depth);
    EXPECT_EQ("urn:A", e[4].uri);  // back in the outer scope
    EXPECT_TRUE(e[4].leaf);
    EXPECT_EQ((std::set<std::string>{"urn:A", "urn:B", "urn:D"}), declaredNamespaces(xml));
}

TEST(XmlElements, RejectUndeclaredPrefixesAndUnbalancedTags) {
    for (const char* bad : {"<p:a/>", "<a><b></a>", "<a>", "</a>"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(xmlElements(bad), std::runtime_error);
    }
}

TEST(MessageOf, SplitsHeaderChildrenFromTheBodyAndNamesOurPrefixes) {
    const std::string env = std::string(
                                "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\""
                                " xmlns:q=\"") +
                            crm::ns::h + "\" xmlns:u=\"" + crm::ns::ui +
                            "\" xmlns:o=\"urn:other\"><e:Header><q:SessionToken>t</q:SessionToken>"
                            "</e:Header><e:Body><u:Out><u:ErrorCode>0</u:ErrorCode><o:X/>"
                            "</u:Out></e:Body></e:Envelope>";
    const Message m = messageOf(env);
    EXPECT_EQ(std::vector<std::string>{"h:SessionToken=t"}, m.header);
    EXPECT_EQ((std::vector<std::string>{"ui:Out", "  ui:ErrorCode=0", "  {urn:other}:X="}), m.body);
}

// HTTPS: a CA and a server certificate for 127.0.0.1 made at test time with
// the openssl tool (the key protected by a password); a client that verifies
// the server against that CA round-trips every operation, one that trusts
// another CA is refused.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "tests/runner/soap/soap_support.h"

using namespace soaptest;

namespace {

class CrmHttps : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { certs_ = std::make_unique<TestCertificates>(); }
    static void TearDownTestSuite() { certs_.reset(); }

    // A client context that verifies the server against the CA `ca`.
    static crm::SoapPtr verifyingClient(const std::string& ca) {
        crm::SoapPtr ctx = clientContext();
        if (soap_ssl_client_context(ctx.get(), SOAP_SSL_REQUIRE_SERVER_AUTHENTICATION, nullptr,
                                    nullptr, certs_->ca(ca).c_str(), nullptr, nullptr) != SOAP_OK) {
            throw std::runtime_error("client TLS context: " + crm::faultString(ctx.get()));
        }
        return ctx;
    }

    static const Simulator::Tls* tls() { return &certs_->tls(); }

    static std::unique_ptr<TestCertificates> certs_;
};

std::unique_ptr<TestCertificates> CrmHttps::certs_;

// One call of an operation; its ErrorCode as read by the proxy.
struct Operation {
    const char* name;
    std::function<int(struct soap*, const std::string&, std::string&)> send;
};

template <class In, class Out>
Operation operation(const char* name) {
    return {name, [](struct soap* ctx, const std::string& ep, std::string& code) {
                In in;
                Out out;
                const int rc = call(ctx, ep, in, out);
                code = crm::text(out.ErrorCode);
                return rc;
            }};
}

}  // namespace

TEST_F(CrmHttps, EveryOperationRoundTripsWithTheTrustedCa) {
    const Operation operations[] = {
        operation<conn::ConnectionCheckInput, conn::ConnectionCheckOutput>("Connection_Check"),
        operation<card::GetInfoInput, card::GetInfoOutput>("Get_Info"),
        operation<order::ProcOrderInput, order::ProcOrderOutput>("Proc_Order"),
        operation<storn::OrderStornoInput, storn::OrderStornoOutput>("Order_Storno"),
        operation<hold::HoldPointsInput, hold::PointsOutput>("Hold_Points"),
        operation<hold::UnholdPointsInput, hold::PointsOutput>("Unhold_Points"),
        operation<batch::BatchOrderSyncInput, batch::BatchOrderSyncOutput>("Batch_Order_Sync"),
    };
    Json::Value scenario(Json::objectValue);
    int code = 10;
    for (const Operation& op : operations) {
        scenario[op.name]["reply"]["body"]["ErrorCode"] = std::to_string(code++);
    }
    Simulator sim(scenario, tls());
    ASSERT_EQ(0u, sim.endpoint().rfind("https://127.0.0.1:", 0));
    crm::SoapPtr ctx = verifyingClient("test-ca");
    code = 10;
    size_t n = 0;
    for (const Operation& op : operations) {
        SCOPED_TRACE(op.name);
        std::string got;
        ASSERT_EQ(SOAP_OK, op.send(ctx.get(), sim.endpoint(), got)) << crm::faultString(ctx.get());
        EXPECT_EQ(std::to_string(code++), got);
        const std::vector<Json::Value> records = sim.waitRecords(++n);
        ASSERT_EQ(n, records.size());
        EXPECT_EQ(op.name, records.back()["operation"].asString());
    }
}

TEST_F(CrmHttps, AServerCertificateFromAnotherCaIsRefused) {
    Simulator sim(Json::Value(Json::objectValue), tls());
    crm::SoapPtr ctx = verifyingClient("other-ca");
    const int rc = connectionCheck(ctx.get(), sim.endpoint());
    EXPECT_EQ(SOAP_SSL_ERROR, rc) << crm::faultString(ctx.get());
    EXPECT_FALSE(crm::noConnection(rc));
    // The trusted client still gets through: the refusal was the client's.
    EXPECT_EQ(SOAP_OK, connectionCheck(verifyingClient("test-ca").get(), sim.endpoint()));
    EXPECT_EQ(1u, sim.waitRecords(1).size());
}

#include "print/printmoduleport.h"

#include <gtest/gtest.h>

#include "print/fakespooler.h"

namespace print {
namespace {

// A spooler reached over a port, as the service reaches the module's: results
// come back as they were, and each failure as its own kind with its message
// (the print queue retries a refused option, and logs the rest).
TEST(PrintModulePortTest, ResultsAndFailuresCrossAsTheyWere) {
  auto fake = std::make_shared<TFakeSpooler>();
  TSpoolerPortOf port(fake);
  const std::shared_ptr<platform::TPrintSpooler> over = SpoolerOverPort(port);
  EXPECT_EQ(PortUnder(*over), &port);
  EXPECT_EQ(PortUnder(*fake), nullptr);

  EXPECT_EQ(over->FindDestination("RECIBO")->dpi, 203);
  EXPECT_FALSE(over->FindDestination("Nenhuma"));
  EXPECT_EQ(over->SubmitJob("Recibo", "t", "application/pdf", {}, "%PDF"), 1);
  EXPECT_EQ(over->JobState("Recibo", 1), platform::TPrintJobState::jsCompleted);

  fake->refuse_options = 1;
  EXPECT_THROW(
      over->SubmitJob("Recibo", "t", "application/pdf", {{"print-scaling", "fit"}}, "%PDF"),
      platform::EPrintOptionRefused);
  try {
    over->SubmitJob("Nenhuma", "t", "application/pdf", {}, "%PDF");
    ADD_FAILURE() << "no failure";
  } catch (const platform::EPrintOptionRefused&) {
    ADD_FAILURE() << "an ordinary failure came back as a refused option";
  } catch (const platform::EPrintSpooler& e) {
    EXPECT_STREQ(e.what(), "The printer or class does not exist.");
  }
  EXPECT_THROW(over->CancelJob("Recibo", 7), std::runtime_error);  // the fake's out_of_range
  fake->cancel_fails = true;
  EXPECT_THROW(over->CancelJob("Recibo", 1), platform::EPrintSpooler);
  EXPECT_FALSE(fake->Jobs()[0].canceled);
}

}  // namespace
}  // namespace print

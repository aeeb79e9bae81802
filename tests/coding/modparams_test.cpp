// The packet format table of DRC 1 to 12.
#include <gtest/gtest.h>

#include "coding/error.hpp"
#include "coding/modparams.hpp"

namespace kelvane::coding {
namespace {

TEST(ModParams, EveryRowMeetsTheChipBudgetAndSymbolCountRelations) {
  for (double drc = 1; drc <= 12; ++drc) {
    SCOPED_TRACE(drc);
    const auto m = Qarn_FwdTrfChnModParams(drc);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->drcValue, drc);
    EXPECT_EQ(m->pilotTDMChips, 192 * m->slots);
    EXPECT_EQ(m->macTDMChips, 256 * m->slots);
    EXPECT_EQ(m->dataTDMChips, 1600 * m->slots - m->preambleTDMChips);
    EXPECT_EQ(m->modulationSymbolsRequired, m->dataTDMChips);
    const double bitsPerSymbol = m->modulationType == Modulation::Qpsk   ? 2
                                 : m->modulationType == Modulation::Psk8 ? 3
                                                                         : 4;
    EXPECT_EQ(m->modulationSymbolsProvided, m->bits / m->codeRate / bitsPerSymbol);
    // The code rate is exact: bits / codeRate is a whole number of code symbols.
    EXPECT_EQ(m->bits / m->codeRate, (m->codeRate == 0.2 ? 5 : 3) * m->bits);
  }
}

TEST(ModParams, RowsAreKeyedByDrcValueNotByRate) {
  const ModParams drc4 = modParamsFor(4), drc5 = modParamsFor(5);
  EXPECT_EQ(drc4.dataRate, 307.2);
  EXPECT_EQ(drc5.dataRate, 307.2);
  EXPECT_EQ(drc4,
            (ModParams{4, 307.2, 2, 1024, 0.2, Modulation::Qpsk, 128, 384, 512, 3072, 2560, 3072}));
  EXPECT_EQ(drc5, (ModParams{5, 307.2, 4, 2048, 1.0 / 3, Modulation::Qpsk, 128, 768, 1024, 6272,
                             3072, 6272}));
  EXPECT_EQ(modParamsFor(1), (ModParams{1, 38.4, 16, 1024, 0.2, Modulation::Qpsk, 1024, 3072, 4096,
                                        24576, 2560, 24576}));
  EXPECT_EQ(modParamsFor(12), (ModParams{12, 2457.6, 1, 4096, 1.0 / 3, Modulation::Qam16, 64, 192,
                                         256, 1536, 3072, 1536}));
  EXPECT_EQ(modParamsFor(8).modulationType, Modulation::Psk8);
  EXPECT_EQ(modParamsFor(10).modulationType, Modulation::Qam16);
  EXPECT_EQ(modParamsFor(4.0), drc4);

  int equal = 0;
  for (const ModParams& m : FwdTrfChnModParamsTable)
    equal += m.modulationSymbolsProvided == m.modulationSymbolsRequired;
  EXPECT_EQ(equal, 1);  // DRC 6 only
  EXPECT_EQ(modParamsFor(6).modulationSymbolsProvided, 1536);
}

TEST(ModParams, ValuesWithoutARowHaveNoFormat) {
  for (double drc : {0.0, 13.0, 15.0, 4.5, -1.0})
    EXPECT_FALSE(Qarn_FwdTrfChnModParams(drc).has_value()) << drc;
  EXPECT_THROW(modParamsFor(0), Error);
  try {
    modParamsFor(4.5);
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("4.5"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace kelvane::coding

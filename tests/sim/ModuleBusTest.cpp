// Several simulated modules on one cable: each answers its own address, the others keep quiet.
#include "sim/ModuleBus.hpp"
#include "sim/SimulatedModule.hpp"
#include "tests/link/LinkFixture.hpp"

namespace nuv::test {
namespace {

class ModuleBusTest : public LinkTest {
  protected:
    ModuleBusTest() : bus(sim::AttachModuleBus(AddModule(), {1, 4, 7}, {7})) {
        EXPECT_EQ(link.ConnectModule(), 0);
    }
    std::vector<std::uint8_t> Exchange(const std::string& request, std::uint32_t expected) {
        EXPECT_EQ(link.WriteBytes(Hex(request)), 0);
        lastResult = link.ReadTimed(expected, 200);
        return Received(link.ReceivedCount());
    }

    sim::ModuleBus& bus;
    LinkResult lastResult = 0;
};

TEST_F(ModuleBusTest, EachModuleAnswersItsOwnAddressAndTheSilentOneNone) {
    ASSERT_EQ(bus.Size(), 3U);
    bus.At(1)->SensorAt(0, 0).fixedRaw = 0x0191;
    bus.At(4)->SensorAt(0, 0).fixedRaw = 0x0140;
    EXPECT_EQ(Exchange("01 03 00 00 00 01 84 0A", 7), Hex("01 03 02 01 91 78 78"));
    EXPECT_EQ(Exchange("04 03 00 00 00 01 84 5F", 7), Hex("04 03 02 01 40 74 24"));
    Exchange("07 03 00 00 00 01 84 6C", 7);
    EXPECT_EQ(lastResult, 21);  // no answer: the module at 7 is silent
    // Every module heard every request; each kept the requests it understood.
    for (const int address : {1, 4, 7}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(bus.At(static_cast<std::uint8_t>(address))->Requests().size(), 3U);
    }
    EXPECT_EQ(bus.At(2), nullptr);
    // Told to speak again, the module at 7 answers with its own values.
    bus.At(7)->faults.silent = 0;
    bus.At(7)->SensorAt(0, 0).fixedRaw = 0x0191;
    EXPECT_EQ(Exchange("07 03 00 00 00 01 84 6C", 7), Hex("07 03 02 01 91 F0 78"));
}

TEST_F(ModuleBusTest, AnAddressWithoutAModuleStaysUnanswered) {
    Exchange("02 03 00 00 00 01 84 39", 7);
    EXPECT_EQ(lastResult, 21);
    // The modules are told apart by their sensors' serials; the first is a lone module's.
    EXPECT_NE(bus.At(1)->SensorAt(0, 0).serial, bus.At(4)->SensorAt(0, 0).serial);
    EXPECT_EQ(bus.At(1)->SensorAt(0, 0).serial, sim::ModuleSimulator().SensorAt(0, 0).serial);
}

TEST(SimulatedBus, TheDemonstrationBusHasAModuleAtEachAddress) {
    VirtualClock clock;
    sim::SimFtdi driver(clock);
    sim::ModuleBus& bus = sim::AddSimulatedBus(driver, {3, 5}, 0.0, {}, 16);
    sim::SimDevice& device = driver.Device(0);
    EXPECT_EQ(device.description, "ORNEVA NUV");
    EXPECT_FALSE(device.keepRecords);
    ASSERT_NE(bus.At(3), nullptr);
    ASSERT_NE(bus.At(5), nullptr);
    EXPECT_EQ(bus.At(4), nullptr);
    EXPECT_EQ(bus.At(3)->sensorsPerChannel, 16);
    EXPECT_EQ(bus.At(5)->sensorsPerChannel, 16);
}

}  // namespace
}  // namespace nuv::test

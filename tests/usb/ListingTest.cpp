// The device list through libftdi1 and libusb: what the emulated cables say of themselves over
// the USB is what the tool shows.
#include "link/LibFtdiBinding.hpp"
#include "tests/usb/UsbFixture.hpp"

namespace nuv::test {
namespace {

class ListingTest : public EmulatedCableTest {
  protected:
    std::string Row(std::size_t row) const {
        const StringGrid& grid = tool->panel.StringGrid1;
        return grid.Cell(0, row) + "|" + grid.Cell(1, row) + "|" + grid.Cell(2, row);
    }
};

TEST_F(ListingTest, StartUpShowsTheCableByItsProductTextAndSerialAndOpensIt) {
    Start();
    EXPECT_EQ(Row(1), "ORNEVA NUV|NUV13001|USED BY THIS PROGRAM");
    EXPECT_EQ(Row(2), "||");
    EXPECT_TRUE(tool->link.IsOpen());
    EXPECT_FALSE(cable.KernelDriverBound());  // libftdi1 holds it now
}

TEST_F(ListingTest, TheBindingReadsStringsAndLocationFromTheUsbDevice) {
    LibFtdiBinding binding;
    ASSERT_TRUE(binding.Ok());
    std::vector<LibFtdi::UsbDevice> found;
    ASSERT_EQ(binding.FindAll(found), 1);
    EXPECT_EQ(found[0].location, "usb:1-1");
    EXPECT_EQ(found[0].channels, 1);
    std::string description;
    std::string serial;
    EXPECT_EQ(binding.GetStrings(0, description, serial), 0);
    EXPECT_EQ(description, "ORNEVA NUV");
    EXPECT_EQ(serial, "NUV13001");
    EXPECT_EQ(binding.HolderOf(0, 0), LibFtdi::Holder::KernelTty);
}

TEST_F(ListingTest, ASecondFt232rWithAnotherProductTextIsListedAndLeftAlone) {
    usbemu::Cable& other = usb.Plug({"FTDI", "FT232R USB UART", "A10K3B7Z"});
    Start();
    // libusb lists the later device first.
    EXPECT_EQ(Row(1), "FT232R USB UART|A10K3B7Z|free ");
    EXPECT_EQ(Row(2), "ORNEVA NUV|NUV13001|USED BY THIS PROGRAM");
    EXPECT_EQ(tool->log.Text(), "");
    // Listing reads its strings; nothing opens it, resets it or sets its line.
    EXPECT_EQ(VendorRequests(other.Log()), std::vector<std::string>{});
    EXPECT_TRUE(other.KernelDriverBound());
}

TEST_F(ListingTest, ACableAnotherProgramHoldsIsBusyAndEndsTheScanWithCode5) {
    cable.SetClaimedElsewhere(true);
    MakeTool();
    EXPECT_EQ(tool->link.ConnectModule(), result::LastDeviceBusy);
    tool->FormCreate();
    EXPECT_EQ(Row(1), "?|?|BUSY (uses by other program)");
    EXPECT_EQ(Row(2), "||");
    // Code 5 is not reported, and the module is not opened.
    EXPECT_EQ(tool->log.Text(), "");
    EXPECT_FALSE(tool->link.IsOpen());
    EXPECT_EQ(VendorRequests(cable.Log()), std::vector<std::string>{});

    // libftdi1 itself is refused the claim, as the kernel refuses it.
    LibFtdiBinding binding;
    std::vector<LibFtdi::UsbDevice> found;
    ASSERT_EQ(binding.FindAll(found), 1);
    EXPECT_EQ(binding.HolderOf(0, 0), LibFtdi::Holder::UsbProgram);
    const LibFtdi::Context context = binding.New();
    EXPECT_EQ(binding.OpenDev(context, 0), -5);  // unable to claim the device
    binding.Free(context);

    // Once the other program lets go, the next listing opens it.
    cable.SetClaimedElsewhere(false);
    Click(tool->panel.Button3);  // "Find USB Devices"
    EXPECT_EQ(Row(1), "ORNEVA NUV|NUV13001|USED BY THIS PROGRAM");
    EXPECT_EQ(tool->log.Text(), "ORNEVA Device detected...");
}

}  // namespace
}  // namespace nuv::test

// Physical-drive probing: the media and bus texts, the descriptor's text
// extraction on crafted buffers, and both queries against a sysfs tree built
// in a temporary folder.

#include "dvr/myfuns.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Drives.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- texts
TEST(DriveTextsTest, MediaTypeText) {
  struct Case { std::uint32_t type; const char* text; };
  const Case cases[] = {{0, "Unknown"}, {11, "Removable"}, {12, "Hdd"},  {1, "floppy"},
                        {10, "floppy"}, {13, "floppy"},    {22, "floppy"}, {0xFFFFFFFFu, "floppy"}};
  for (const Case& c : cases) EXPECT_EQ(MediaTypeText(c.type), c.text) << c.type;
}

TEST(DriveTextsTest, BusTypeText) {
  struct Case { std::uint32_t type; const char* text; };
  const Case cases[] = {{0, "Unknow"}, {1, "SCSI"},  {2, "ATAPI"},  {3, "ATA"},  {4, "1394"},
                        {5, "SSA"},    {6, "FIBRE"}, {7, "USB"},    {8, "RAID"}, {9, ""},
                        {10, ""},      {11, "SATA"}, {12, ""},      {17, ""},    {126, ""},
                        {127, "MaxReserved"},        {128, ""},     {0xFFFFFFFFu, ""}};
  for (const Case& c : cases) EXPECT_EQ(BusTypeText(c.type), c.text) << c.type;
}

TEST(DriveTextsTest, PhysicalDrivePath) {
  EXPECT_EQ(PhysicalDrivePath(0), "\\\\.\\PhysicalDrive0");
  EXPECT_EQ(PhysicalDrivePath(255), "\\\\.\\PhysicalDrive255");
}

// ---------------------------------------------------------------- extraction
// A 552-byte descriptor buffer written field by field.
class Descriptor {
 public:
  Descriptor() : bytes_(552, 0) { Size(551); }
  Descriptor& Size(std::uint32_t v) { return Le32(4, v); }
  Descriptor& Product(std::uint32_t offset, const std::string& text) {
    return Le32(16, offset).Text(offset, text);
  }
  Descriptor& Revision(std::uint32_t offset, const std::string& text) {
    return Le32(20, offset).Text(offset, text);
  }
  Descriptor& Serial(std::uint32_t offset, const std::string& text) {
    return Le32(24, offset).Text(offset, text);
  }
  Descriptor& Bus(std::uint32_t v) { return Le32(28, v); }
  Descriptor& Fill(std::size_t from, std::size_t to, char c) {
    for (std::size_t i = from; i < to; ++i) bytes_[i] = static_cast<std::uint8_t>(c);
    return *this;
  }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  Descriptor& Le32(std::size_t off, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) bytes_[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
  }
  Descriptor& Text(std::uint32_t offset, const std::string& text) {
    for (std::size_t i = 0; i < text.size() && offset + i < bytes_.size(); ++i) {
      bytes_[offset + i] = static_cast<std::uint8_t>(text[i]);
    }
    return *this;
  }
  std::vector<std::uint8_t> bytes_;
};

TEST(DriveDescriptorTest, TextsAndBus) {
  const auto t = ExtractDriveDescriptor(Descriptor()
                                            .Product(40, "  WDC WD5000AAKX   ")
                                            .Revision(60, "15.01H15")
                                            .Serial(70, " \t  WD-WCAYUJ123456 \r\n")
                                            .Bus(11)
                                            .Bytes());
  EXPECT_EQ(t.Product, "  WDC WD5000AAKX   ");  // the drive's padding stays
  EXPECT_EQ(t.Revision, "15.01H15");
  EXPECT_EQ(t.Serial, "WD-WCAYUJ123456");        // trimmed at both ends
  EXPECT_EQ(t.Bus, "SATA");
}

TEST(DriveDescriptorTest, OffsetZeroGivesEmptyTexts) {
  // Byte 0 holds something: an offset of 0 still means "absent".
  const auto t = ExtractDriveDescriptor(Descriptor().Fill(0, 4, 'X').Bytes());
  EXPECT_EQ(t.Product, "");
  EXPECT_EQ(t.Revision, "");
  EXPECT_EQ(t.Serial, "");
  EXPECT_EQ(t.Bus, "Unknow");
}

TEST(DriveDescriptorTest, SerialOfBlanksOnlyIsEmpty) {
  EXPECT_EQ(ExtractDriveDescriptor(Descriptor().Serial(100, " \x01 \x1f ").Bytes()).Serial, "");
}

TEST(DriveDescriptorTest, ProductAndRevisionStopBeforeByteSizeMinusTwo) {
  struct Case { std::uint32_t size; std::string product; std::string revision; };
  const Case cases[] = {
      {551, std::string(30, 'P'), std::string(8, 'R')},
      {75, std::string(30, 'P'), std::string(2, 'R')},  // bytes 71 and 72
      {73, std::string(30, 'P'), ""},                    // revision starts at the bound
      {71, std::string(29, 'P'), ""},                    // bytes 40..68
      {50, std::string(8, 'P'), ""},                     // bytes 40..47
      {2, "", ""},
      {1, "", ""},  // no room at all
      {0, "", ""},
  };
  for (const Case& c : cases) {
    const auto t = ExtractDriveDescriptor(
        Descriptor().Size(c.size).Product(40, std::string(30, 'P')).Revision(71, "RRRRRRRR").Bytes());
    EXPECT_EQ(t.Product, c.product) << c.size;
    EXPECT_EQ(t.Revision, c.revision) << c.size;
  }
}

TEST(DriveDescriptorTest, TextsNeverRunPastTheirBounds) {
  // A Size beyond the buffer: the product stops at the buffer's end (552).
  auto t = ExtractDriveDescriptor(Descriptor().Size(100000).Product(500, "").Fill(500, 552, 'p')
                                      .Bytes());
  EXPECT_EQ(t.Product, std::string(52, 'p'));
  // The serial number ignores Size and stops after byte 510.
  t = ExtractDriveDescriptor(Descriptor().Size(40).Serial(480, "").Fill(480, 552, 's').Bytes());
  EXPECT_EQ(t.Serial, std::string(31, 's'));  // bytes 480..510
  t = ExtractDriveDescriptor(Descriptor().Serial(511, "").Fill(511, 552, 's').Bytes());
  EXPECT_EQ(t.Serial, "");
  // Offsets past the buffer give empty texts.
  t = ExtractDriveDescriptor(
      Descriptor().Size(0xFFFFFFFFu).Product(0xFFFFFFF0u, "").Revision(552, "").Serial(600, "")
          .Bytes());
  EXPECT_EQ(t.Product, "");
  EXPECT_EQ(t.Revision, "");
  EXPECT_EQ(t.Serial, "");
}

TEST(DriveDescriptorTest, BufferTooShortForTheFieldsGivesEmptyTexts) {
  const std::vector<std::uint8_t> shortBuffer(31, 1);
  const auto t = ExtractDriveDescriptor(shortBuffer);
  EXPECT_EQ(t.Product, "");
  EXPECT_EQ(t.Bus, "");
}

TEST(DriveDescriptorTest, BuiltRecordRoundTrips) {
  platform::StorageDescriptorTexts in;
  in.Vendor = "ATA     ";
  in.Product = "ST1000DM003-1CH1";
  in.Revision = "CC47";
  in.BusType = 7;
  std::array<std::uint8_t, 552> buffer{};
  ASSERT_TRUE(platform::BuildStorageDescriptor(in, std::span<std::uint8_t>(buffer.data(), 551)));
  const auto t = ExtractDriveDescriptor(buffer);
  EXPECT_EQ(t.Product, "ST1000DM003-1CH1");
  EXPECT_EQ(t.Revision, "CC47");
  EXPECT_EQ(t.Serial, "");  // no serial: offset 0
  EXPECT_EQ(t.Bus, "USB");
  std::array<std::uint8_t, 39> tiny{};
  EXPECT_FALSE(platform::BuildStorageDescriptor(in, tiny));
}

TEST(DriveDescriptorTest, OverlongProductIsCutAtTheBufferEnd) {
  // The record needs more than the 551 bytes the query may write: Size tells
  // the full length, and the product stops where the written bytes end.
  platform::StorageDescriptorTexts in;
  in.Product = std::string(600, 'M');
  std::array<std::uint8_t, 552> buffer{};
  ASSERT_TRUE(platform::BuildStorageDescriptor(in, std::span<std::uint8_t>(buffer.data(), 551)));
  EXPECT_EQ(ExtractDriveDescriptor(buffer).Product, std::string(551 - 40, 'M'));
  EXPECT_EQ(buffer[4] | (buffer[5] << 8), 40 + 601 + 2);  // the full length
}

TEST(DriveBusTest, BusOfTheDevicePath) {
  struct Case { const char* path; std::uint32_t bus; };
  const Case cases[] = {
      {"devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda", 11},
      {"devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb", 7},
      {"devices/pci0000:00/0000:00:1d.0/0000:03:00.0/nvme/nvme0/nvme0n1", 1},
      {"devices/pci0000:00/0000:00:10.0/host2/target2:0:0/2:0:0:0/block/sdc", 1},
      {"devices/pci0000:00/fw0/fw0.0/host3/target3:0:0/block/sdd", 4},
      {"devices/platform/soc/mmc0/mmc0:0001/block/mmcblk0", 0},
      {"devices/pci0000:00/0000:00:1f.2/atapi/block/sde", 0},  // "ata" needs a number
      {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::BusTypeOfSysPath(c.path), c.bus) << c.path;
}

// ---------------------------------------------------------------- the queries
// A sysfs tree in a temporary folder:
//   block/<name> -> devices/.../<name> (a link, as sysfs has it)
class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "dvr-sysfs-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "block");
    platform::SetDriveSysRoot((root_).string());
    platform::SetDriveDevRoot((root_ / "dev").string());
  }
  void TearDown() override {
    platform::SetDriveSysRoot("/sys");
    platform::SetDriveDevRoot("/dev");
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // A disk at devices/<devicePath>/<name>, linked from block/<name>.
  fs::path Disk(const std::string& name, const std::string& devicePath, std::uint64_t sectors,
                bool removable = false) {
    const fs::path dir = root_ / "devices" / devicePath / name;
    fs::create_directories(dir / "device");
    Write(dir / "size", std::to_string(sectors) + "\n");
    Write(dir / "removable", removable ? "1\n" : "0\n");
    fs::create_directory_symlink(dir, root_ / "block" / name);
    return dir;
  }
  static void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  fs::path root_;
};

TEST_F(FakeSysfs, DrivesAreTheWholeDisksInNameOrder) {
  for (const char* name : {"loop0", "ram0", "zram0", "sr0", "dm-0", "md127"}) {
    Disk(name, "virtual", 100);
  }
  Disk("sdb", "pci/ata2/host1", 200);
  Disk("nvme0n1", "pci/nvme/nvme0", 300);
  Disk("sda", "pci/ata1/host0", 100);
  EXPECT_EQ(platform::DriveBlockName(0), "nvme0n1");
  EXPECT_EQ(platform::DriveBlockName(1), "sda");
  EXPECT_EQ(platform::DriveBlockName(2), "sdb");
  EXPECT_EQ(platform::DriveBlockName(3), std::nullopt);
  EXPECT_EQ(platform::DriveBlockName(-1), std::nullopt);
  EXPECT_EQ(platform::PhysicalDriveNode("\\\\.\\PHYSICALDRIVE1"), (root_ / "dev" / "sda").string());
  EXPECT_EQ(platform::PhysicalDriveNode("\\\\.\\PhysicalDrive2"), (root_ / "dev" / "sdb").string());
  for (const char* path : {"\\\\.\\PhysicalDrive3", "\\\\.\\PhysicalDrive", "\\\\.\\PhysicalDrive1x",
                           "\\\\?\\/tmp/a.img", "/dev/sda", "\\\\.\\PhysicalDrive-1",
                           "\\\\.\\PhysicalDrive99999999999"}) {
    EXPECT_EQ(platform::PhysicalDriveNode(path), std::nullopt) << path;
  }
}

TEST_F(FakeSysfs, SizeAndMedia) {
  Disk("sda", "pci/ata1/host0", 976773168);
  Disk("sdb", "pci/usb1/1-1/host6", 15633408, /*removable=*/true);
  struct Case { int drive; std::int64_t size; const char* media; };
  const Case cases[] = {{0, 976773168LL * 512, "Hdd"}, {1, 15633408LL * 512, "Removable"}};
  for (const Case& c : cases) {
    std::int64_t size = 0;
    std::string media;
    ASSERT_TRUE(GetDriveSizeAndMedia(c.drive, size, media)) << c.drive;
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(media, c.media);
  }
}

TEST_F(FakeSysfs, FailuresLeaveTheOutputsUnchanged) {
  const fs::path sda = Disk("sda", "pci/ata1/host0", 100);
  Write(sda / "size", "not a number\n");
  std::int64_t size = -5;
  std::string media = "before", product = "p", revision = "r", serial = "s", bus = "b";
  EXPECT_FALSE(GetDriveSizeAndMedia(0, size, media));  // unreadable size
  EXPECT_FALSE(GetDriveSizeAndMedia(1, size, media));  // no such drive
  EXPECT_FALSE(GetDriveDescriptor(1, product, revision, serial, bus));
  EXPECT_FALSE(GetDriveSizeAndMedia(-1, size, media));
  EXPECT_EQ(size, -5);
  EXPECT_EQ(media, "before");
  EXPECT_EQ(product + revision + serial + bus, "prsb");
}

TEST_F(FakeSysfs, DescriptorTextsAndBus) {
  const fs::path sda = Disk("sda", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", 100);
  Write(sda / "device" / "vendor", "ATA     \n");
  Write(sda / "device" / "model", "ST1000DM003-1CH1\n");
  Write(sda / "device" / "rev", "CC47\n");
  // Unit serial number page: header 00 80 00 len, then the serial, blank-padded.
  const std::string serial = "      Z1D5ABCD";
  Write(sda / "device" / "vpd_pg80",
        std::string("\x00\x80\x00", 3) + static_cast<char>(serial.size()) + serial);

  const fs::path sdb = Disk("sdb", "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0", 50);
  Write(sdb / "device" / "model", "Flash Disk      \n");  // blank-padded by the drive
  Write(sdb / "device" / "rev", "8.07\n");
  Write(sdb / "device" / "wwid", "t10.Generic Flash Disk  \n");

  const fs::path nvme = Disk("nvme0n1", "pci0000:00/0000:00:1d.0/0000:03:00.0/nvme/nvme0", 70);
  Write(nvme / "device" / "model", "Samsung SSD 970 EVO 500GB               \n");
  Write(nvme / "device" / "firmware_rev", "2B2QEXE7\n");
  Write(nvme / "device" / "serial", "S466NX0M123456      \n");

  Disk("sdc", "pci0000:00/0000:00:10.0/host2/target2:0:0/2:0:0:0", 10);  // nothing but a size

  struct Case { int drive; const char* product; const char* revision; const char* serial;
                const char* bus; };
  const Case cases[] = {
      {0, "Samsung SSD 970 EVO 500GB               ", "2B2QEXE7", "S466NX0M123456", "SCSI"},
      {1, "ST1000DM003-1CH1", "CC47", "Z1D5ABCD", "SATA"},
      {2, "Flash Disk      ", "8.07", "t10.Generic Flash Disk", "USB"},
      {3, "", "", "", "SCSI"},
  };
  for (const Case& c : cases) {
    std::string product = "x", revision = "x", serial = "x", bus = "x";
    ASSERT_TRUE(GetDriveDescriptor(c.drive, product, revision, serial, bus)) << c.drive;
    EXPECT_EQ(product, c.product) << c.drive;
    EXPECT_EQ(revision, c.revision) << c.drive;
    EXPECT_EQ(serial, c.serial) << c.drive;
    EXPECT_EQ(bus, c.bus) << c.drive;
  }
}

TEST_F(FakeSysfs, NoDisksWithoutABlockFolder) {
  fs::remove_all(root_ / "block");
  std::int64_t size = 0;
  std::string media;
  EXPECT_FALSE(GetDriveSizeAndMedia(0, size, media));
  EXPECT_EQ(platform::DriveBlockName(0), std::nullopt);
}

}  // namespace
}  // namespace velmora

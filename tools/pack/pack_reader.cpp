#include "pack/pack_reader.h"

#include "package/extract_rules.h"
#include "package/walker.h"
#include "util/file_io.h"

namespace {

// Collects every entry whole for the visitor of WalkPackage: the packager
// reads its own packages, whose entries it keeps in memory anyway.
class TEntryCollector : public TPackageVisitor, public TEntrySink {
 public:
  TEntryCollector(TPackageReport& report, const TEntryVisitor& visitor)
      : report_(report), visitor_(visitor) {}

  const std::string& Error() const { return error_; }

  void OnListPiece(int index, const uint8_t* data, size_t size) override {
    std::string* lists[] = {&report_.LangTexts, &report_.InfoList, &report_.WebList};
    if (index < 3) lists[index]->append(reinterpret_cast<const char*>(data), size);
  }

  TEntrySink& OnEntryStart(const TEntryPlace& place) override {
    entry_ = TPackEntry();
    entry_.Disk = place.DiskNumber;
    entry_.BlockOffset = place.BlockOffset;
    entry_.StoredSize = place.StoredSize;
    return *this;
  }

  void OnHeader(const std::string& header) override {
    // The launcher's reading of the header, so that list and extract name
    // the files and the main program exactly as the launcher will.
    const TEntryHeader parsed = ParseEntryHeader(header);
    entry_.Header = header;
    entry_.Name = parsed.Name;
    if (parsed.MarksMain) entry_.MainProgram = parsed.MainProgram;
    entry_.DosDateTime = parsed.DateStamp;
    entry_.IsPatch = parsed.IsPatch;
  }

  void OnContent(const uint8_t* data, size_t size) override {
    entry_.Content.append(reinterpret_cast<const char*>(data), size);
  }

  bool OnEntryEnd(const TEntryPlace&, const TEntryInflater& inflater) override {
    if (inflater.State() == TEntryInflater::TState::Failed) {
      entry_.Error = inflater.ErrorText();
      entry_.Content.clear();
    }
    ++report_.EntryCount;
    error_ = visitor_(entry_);
    return error_.empty();
  }

 private:
  TPackageReport& report_;
  const TEntryVisitor& visitor_;
  TPackEntry entry_;
  std::string error_;
};

}  // namespace

std::string WalkPackage(const std::string& packagePath, TPackageReport& report,
                        const TEntryVisitor& visitor) {
  report = TPackageReport();
  if (!FileExists(packagePath)) return "Package not found: " + packagePath;
  TWalkOptions options;
  options.StopAtBadEntry = false;
  TPackageWalker walker(options);
  TEntryCollector collector(report, visitor);
  for (int diskNumber = 1;; ++diskNumber) {
    const std::string path = DiskFileName(packagePath, diskNumber);
    if (diskNumber > 1 && !FileExists(path)) {
      report.MissingDisk = path;
      return std::string();
    }
    report.Disks.push_back(TDiskCheck());
    TDiskCheck& disk = report.Disks.back();
    disk.Path = path;
    TReadFile file;
    if (!file.Open(path)) return "Cannot open " + path;
    TReadFileSource source(file);
    disk.PhysicalSize = source.Size();
    if (!ReadTrailer(source, disk.Trailer)) return "Cannot read the trailer of " + path;
    disk.HasMagic = disk.Trailer.PackageMagic == kPackageMagic;
    disk.PackageEnd = ReadPackageEnd(source);
    const TChecksum crc = PackageChecksum(source, disk.Trailer.TrailerLength);
    if (!crc.Complete) return "Cannot read " + path;
    disk.Crc = crc.Value;
    disk.CrcMatches = disk.Crc == disk.Trailer.ExpectedCrc;

    switch (walker.WalkDisk(source, disk.Trailer, path, diskNumber, collector)) {
      case TDiskWalk::Done:
      case TDiskWalk::NoMagic:
        break;
      case TDiskWalk::Damaged: {
        const TDamagedEntry& damage = walker.Damage();
        return "Damaged block at offset " + std::to_string(damage.Offset) + " of " + path + ": " +
               damage.Reason;
      }
      case TDiskWalk::Stopped:
        return collector.Error();
      case TDiskWalk::ReadFailed:
        return "Cannot read " + path;
    }
    if (!HasNextDisk(disk.Trailer)) return std::string();
  }
}

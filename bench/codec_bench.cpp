// Codec benchmark: our -lh5-/-lh7- streams against jLHA archives and zip -6 in size, against
// tar | gzip -6 in compression speed and bsdtar in extraction speed, on the benchmark corpus
// (shared/bench/make-corpus.sh). Prints sizes, MB/s and ratios; asserts nothing.
//
//   codec_bench CORPUS_DIR WORK_DIR [SET ...]      (WORK_DIR on tmpfs, e.g. /dev/shm/qbench)
//   codec_bench --stream FILE METHOD WORK_DIR      (one file, streaming; prints peak RSS)
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "format/crc16.h"

namespace fs = std::filesystem;
using lha::codec::Method;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint64_t kHeaderAllowance = 60;  // bytes per file for our (future) level-2 header

// CPU seconds (user + system) of this process: the machine is shared, so wall time says more
// about the neighbours than about the code.
double Now() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

double ChildrenCpu() {
  rusage ru{};
  getrusage(RUSAGE_CHILDREN, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
         (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

std::string Quote(const fs::path& p) {
  std::string s = "'";
  for (char c : p.string())
    s += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return s + "'";
}

// CPU seconds of the command and everything it started.
double RunTimed(const std::string& cmd) {
  double t = ChildrenCpu();
  int rc = std::system(cmd.c_str());
  if (rc != 0) std::fprintf(stderr, "command failed (%d): %s\n", rc, cmd.c_str());
  return ChildrenCpu() - t;
}

std::string Capture(const std::string& cmd) {
  std::string out;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, f))
      out.append(buf, n);
    pclose(f);
  }
  return out;
}

Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), {});
}

class VectorSink : public lha::ByteSink {
 public:
  void Write(std::span<const uint8_t> d) override { bytes.insert(bytes.end(), d.begin(), d.end()); }
  Bytes bytes;
};

class SpanSource : public lha::ByteSource {
 public:
  explicit SpanSource(std::span<const uint8_t> d) : d_(d) {}
  size_t Read(std::span<uint8_t> buf) override {
    size_t n = std::min(buf.size(), d_.size() - pos_);
    std::copy_n(d_.data() + pos_, n, buf.data());
    pos_ += n;
    return n;
  }

 private:
  std::span<const uint8_t> d_;
  size_t pos_ = 0;
};

class FileSource : public lha::ByteSource {
 public:
  explicit FileSource(const fs::path& p) : f_(std::fopen(p.c_str(), "rb")) {}
  ~FileSource() override {
    if (f_) std::fclose(f_);
  }
  size_t Read(std::span<uint8_t> buf) override {
    return f_ ? fread(buf.data(), 1, buf.size(), f_) : 0;
  }

 private:
  FILE* f_;
};

class FileSink : public lha::ByteSink {
 public:
  explicit FileSink(const fs::path& p) : f_(std::fopen(p.c_str(), "wb")) {}
  ~FileSink() override {
    if (f_) std::fclose(f_);
  }
  void Write(std::span<const uint8_t> d) override { fwrite(d.data(), 1, d.size(), f_); }

 private:
  FILE* f_;
};

// CRC-16/ARC, computed during extraction as an archive reader must, with the library's own
// (table-sliced) implementation.
struct Crc16Function {
  uint16_t operator()(uint16_t crc, std::span<const uint8_t> d) const {
    lha::format::Crc16 c(crc);
    c.Update(d);
    return c.value();
  }
};
const Crc16Function kCrc16;

struct Stream {
  Method method;
  Bytes packed;
  uint64_t original;
};

// The data streams of a level-2 archive, minimally parsed (no ext 42, no padding checks).
std::vector<Stream> ParseLevel2(const Bytes& a) {
  std::vector<Stream> v;
  size_t at = 0;
  while (at + 24 < a.size() && a[at] != 0) {
    size_t hsize = a[at] | a[at + 1] << 8;
    auto le32 = [&](size_t o) {
      return uint32_t{a[at + o]} | uint32_t{a[at + o + 1]} << 8 | uint32_t{a[at + o + 2]} << 16 |
             uint32_t{a[at + o + 3]} << 24;
    };
    if (a[at + 20] != 2) {
      std::fprintf(stderr, "not level 2\n");
      break;
    }
    auto m = lha::codec::FindMethod(std::span<const uint8_t>(a.data() + at + 2, 5));
    uint32_t packed = le32(7), original = le32(11);
    size_t data = at + hsize;
    if (m && *m != Method::kLhd)
      v.push_back({*m, Bytes(a.begin() + data, a.begin() + data + packed), original});
    at = data + packed;
  }
  return v;
}

uint64_t PeakRssKiB() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<uint64_t>(ru.ru_maxrss);
}

int StreamMode(const fs::path& file, const std::string& id, const fs::path& work) {
  auto m = lha::codec::FindMethod(id);
  if (!m) return 2;
  uint64_t before = PeakRssKiB();
  fs::path packed = work / "stream.packed";
  uint64_t original = fs::file_size(file);
  uint16_t crc_in = 0, crc_out = 0;  // the timings include these, for both directions
  double t0 = Now();
  {
    FileSource src(file);
    FileSink sink(packed);
    auto enc = lha::codec::MakeEncoder(*m, sink);
    std::vector<uint8_t> buf(64 * 1024);
    while (size_t n = src.Read(buf)) {
      std::span<const uint8_t> got(buf.data(), n);
      crc_in = kCrc16(crc_in, got);
      enc->Write(got);
    }
    enc->Finish();
  }
  double t1 = Now();
  uint64_t produced = 0;
  {
    FileSource src(packed);
    auto dec = lha::codec::MakeDecoder(*m, src, original);
    std::vector<uint8_t> buf(64 * 1024);
    while (size_t n = dec->Read(buf)) {
      crc_out = kCrc16(crc_out, std::span<const uint8_t>(buf.data(), n));
      produced += n;
    }
  }
  double t2 = Now();
  std::printf(
      "%s %s: %llu -> %llu bytes, encode %.1f MB/s, decode %.1f MB/s, %s, "
      "peak RSS %llu KiB (%llu KiB before the codec ran)\n",
      id.c_str(), file.filename().c_str(), (unsigned long long)original,
      (unsigned long long)fs::file_size(packed), original / 1e6 / (t1 - t0),
      original / 1e6 / (t2 - t1),
      produced == original && crc_in == crc_out ? "round trip ok (size, CRC-16)" : "MISMATCH",
      (unsigned long long)PeakRssKiB(), (unsigned long long)before);
  fs::remove(packed);
  return produced == original && crc_in == crc_out ? 0 : 1;
}

struct Totals {
  size_t files = 0;
  uint64_t bytes = 0;
};

uint64_t StoredOrPacked(uint64_t original, uint64_t packed) {
  return lha::codec::IsTinyFile(original) || packed >= original ? original : packed;
}

void BenchSet(const fs::path& corpus, const fs::path& work, const std::string& set) {
  const fs::path dir = corpus / set;
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  Totals t;
  t.files = files.size();
  for (const auto& f : files)
    t.bytes += fs::file_size(f);
  const double mb = t.bytes / 1e6;
  std::printf("\n== %s: %zu files, %llu bytes\n", set.c_str(), t.files,
              (unsigned long long)t.bytes);

  // Ours: read each file from disk and encode it (what an archive writer does).
  auto encode_all = [&](Method m, std::vector<Bytes>* keep, uint64_t& raw) {
    raw = 0;
    double t0 = Now();
    for (const auto& f : files) {
      Bytes data = ReadFile(f);
      VectorSink sink;
      uint64_t packed = data.size();
      if (!lha::codec::IsTinyFile(data.size())) {
        auto enc = lha::codec::MakeEncoder(m, sink, {.size_hint = data.size()});
        enc->Write(data);
        enc->Finish();
        packed = enc->packed_size();
      }
      raw += StoredOrPacked(data.size(), packed);
      if (keep) keep->push_back(std::move(sink.bytes));
    }
    return Now() - t0;
  };
  std::vector<Bytes> ours5;
  uint64_t raw5 = 0, raw7 = 0;
  double enc5 = encode_all(Method::kLh5, &ours5, raw5);
  double enc7 = encode_all(Method::kLh7, nullptr, raw7);

  // Our decoder on our own -lh5- streams, into memory.
  double t0 = Now();
  {
    Bytes out(64 * 1024);
    for (size_t i = 0; i < files.size(); ++i) {
      if (ours5[i].empty()) continue;
      SpanSource src(ours5[i]);
      auto dec = lha::codec::MakeDecoder(Method::kLh5, src, fs::file_size(files[i]));
      while (dec->Read(out)) {
      }
    }
  }
  double dec_own = Now() - t0;

  // Peers.
  const fs::path j5 = work / (set + "-jlha5.lzh"), j7 = work / (set + "-jlha7.lzh");
  const fs::path zip = work / (set + ".zip");
  fs::remove(j5), fs::remove(j7), fs::remove(zip);
  std::string in_dir = "cd " + Quote(dir) + " && ";
  double jt5 = RunTimed(in_dir + "jlha c2qo5 " + Quote(j5) + " . >/dev/null 2>&1");
  double jt7 = RunTimed(in_dir + "jlha c2qo7 " + Quote(j7) + " . >/dev/null 2>&1");
  double zt = RunTimed(in_dir + "zip -6 -q -r " + Quote(zip) + " .");
  double gz = RunTimed("tar cf - -C " + Quote(dir) + " . | gzip -6 > /dev/null");
  // zip's totals line: uncompressed, compressed, ratio, file count.
  unsigned long long zip_len = 0, zip_data = 0;
  {
    std::string v = Capture("unzip -v " + Quote(zip) + " | tail -1");
    std::sscanf(v.c_str(), "%llu %llu", &zip_len, &zip_data);
  }

  // Extraction: bsdtar on jLHA's -lh5- archive, against our decoder on the same streams, both
  // writing the files to tmpfs (ours also computes the CRC-16 as an archive reader must).
  const fs::path xb = work / "x-bsdtar", xo = work / "x-ours";
  fs::remove_all(xb), fs::remove_all(xo);
  fs::create_directories(xb), fs::create_directories(xo);
  double bsd = RunTimed("bsdtar -xf " + Quote(j5) + " -C " + Quote(xb));
  Bytes archive = ReadFile(j5);
  std::vector<Stream> streams = ParseLevel2(archive);
  t0 = Now();
  uint64_t produced = 0, crc_sum = 0;
  {
    Bytes out(64 * 1024);
    size_t k = 0;
    for (const auto& s : streams) {
      SpanSource src(s.packed);
      auto dec = lha::codec::MakeDecoder(s.method, src, s.original);
      FileSink sink(xo / std::to_string(k++));
      uint16_t crc = 0;
      while (size_t n = dec->Read(out)) {
        std::span<const uint8_t> got(out.data(), n);
        crc = kCrc16(crc, got);
        sink.Write(got);
        produced += n;
      }
      crc_sum += crc;
    }
  }
  double ours_x = Now() - t0;
  fs::remove_all(xb), fs::remove_all(xo);

  const uint64_t j5s = fs::file_size(j5), j7s = fs::file_size(j7);
  const uint64_t o5 = raw5 + kHeaderAllowance * t.files, o7 = raw7 + kHeaderAllowance * t.files;
  std::printf("  size  -lh5-: ours %llu (+%llu B/file header allowance) vs jlha %llu  -> %.3f x\n",
              (unsigned long long)o5, (unsigned long long)kHeaderAllowance, (unsigned long long)j5s,
              double(o5) / j5s);
  std::printf("  size  -lh7-: ours %llu (+%llu B/file header allowance) vs jlha %llu  -> %.3f x\n",
              (unsigned long long)o7, (unsigned long long)kHeaderAllowance, (unsigned long long)j7s,
              double(o7) / j7s);
  std::printf("  size  -lh7- data only: ours %llu vs zip -6 entry data %llu (of %llu)  -> %.3f x\n",
              (unsigned long long)raw7, zip_data, zip_len, zip_data ? double(raw7) / zip_data : 0);
  std::printf(
      "  comp  -lh5- ours %.1f MB/s, -lh7- ours %.1f MB/s | tar|gzip -6 %.1f MB/s"
      "  -> %.2f x | jlha -lh5- %.1f MB/s, -lh7- %.1f MB/s, zip -6 %.1f MB/s\n",
      mb / enc5, mb / enc7, mb / gz, gz / enc5, mb / jt5, mb / jt7, mb / zt);
  std::printf(
      "  dec   jlha's -lh5- streams (%zu, %llu bytes out): ours %.1f MB/s vs bsdtar "
      "%.1f MB/s  -> %.2f x | ours on own -lh5- streams into memory %.1f MB/s [crc sum %llu]\n",
      streams.size(), (unsigned long long)produced, mb / ours_x, mb / bsd, bsd / ours_x,
      mb / dec_own, (unsigned long long)crc_sum);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--stream") {
    if (argc != 5) return 2;
    return StreamMode(argv[2], argv[3], argv[4]);
  }
  {
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    if (kCrc16(0, check) != 0xBB3D) {
      std::fprintf(stderr, "CRC-16 self-check failed\n");
      return 1;
    }
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR WORK_DIR [SET ...]\n", argv[0]);
    return 2;
  }
  const fs::path corpus = argv[1], work = argv[2];
  fs::create_directories(work);
  std::vector<std::string> sets;
  for (int i = 3; i < argc; ++i)
    sets.push_back(argv[i]);
  if (sets.empty()) sets = {"std", "source", "binary", "incompressible", "small", "large"};
  std::printf(
      "Sizes: ours = codec output per file, stored when packed >= original or the file is "
      "under %llu bytes, plus %llu bytes per file for a header; jlha = whole archive "
      "(level 2); zip = sum of entry data (unzip -v totals). Speeds are MB of original data per "
      "CPU "
      "second (user + system, children included for the peers).\n",
      (unsigned long long)lha::codec::kTinyFileLimit, (unsigned long long)kHeaderAllowance);
  for (const auto& s : sets)
    BenchSet(corpus, work, s);
  // Peak memory, streaming the largest input through each method in a fresh process.
  fs::path big = corpus / "large/mixed.bin";
  if (fs::exists(big)) {
    for (const char* id : {"-lh5-", "-lh7-"}) {
      std::string cmd = Quote(fs::read_symlink("/proc/self/exe")) + " --stream " + Quote(big) +
                        " " + id + " " + Quote(work);
      std::fflush(stdout);
      std::system(cmd.c_str());
    }
  }
  return 0;
}

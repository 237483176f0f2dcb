#include "tests/zmodem/ZmodemTestKit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace zorv::zmodem::test {

Bytes RandomBytes(size_t length, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(length, '\0');
    for (auto& c : out) c = static_cast<char>(rng() & 0xFF);
    return out;
}

Bytes EveryByteValue(size_t repeats) {
    Bytes out;
    for (size_t r = 0; r < repeats; ++r)
        for (int c = 0; c < 256; ++c) out.push_back(static_cast<char>(c));
    return out;
}

long MemorySendFile::Read(int64_t position, uint8_t* buffer, size_t length) {
    if (position < 0 || position > Size()) return -1;
    size_t n = std::min<size_t>(length, data_.size() - static_cast<size_t>(position));
    std::memcpy(buffer, data_.data() + position, n);
    return static_cast<long>(n);
}

std::vector<std::unique_ptr<SendFile>> MemoryFiles(const std::vector<NamedData>& files) {
    std::vector<std::unique_ptr<SendFile>> out;
    for (const auto& f : files) out.push_back(std::make_unique<MemorySendFile>(f.name, f.data));
    return out;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zorv-zmodem-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    path_ = mkdtemp(buf.data());
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool ReadWholeFile(const std::string& path, Bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void WriteWholeFile(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> Names(const std::vector<NamedData>& files) {
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.name);
    return names;
}

void PutFiles(const TempDir& dir, const std::vector<NamedData>& files) {
    for (const auto& f : files) WriteWholeFile(dir.File(f.name), f.data);
}

void ExpectReceived(const TempDir& dir, const std::vector<NamedData>& files, bool nothingElse) {
    for (const auto& f : files) {
        Bytes got;
        EXPECT_TRUE(ReadWholeFile(dir.File(f.name), got)) << f.name;
        EXPECT_TRUE(got == f.data) << f.name << ": " << got.size() << " bytes, " << f.data.size() << " sent";
    }
    if (nothingElse) {
        std::vector<std::string> names = Names(files);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(dir.Names(), names);
    }
}

void ExpectNoWrongFile(const TempDir& dir, const std::vector<NamedData>& files, bool nothingElse) {
    for (const auto& name : dir.Names()) {
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0) continue;
        const NamedData* sent = nullptr;
        for (const auto& f : files)
            if (f.name == name) sent = &f;
        if (!sent) {
            EXPECT_FALSE(nothingElse) << "unexpected file " << name;
            continue;
        }
        Bytes got;
        ReadWholeFile(dir.File(name), got);
        EXPECT_TRUE(got == sent->data) << name << " looks complete but differs";
    }
}

namespace {

class Damage {
public:
    explicit Damage(const Faults& f, uint32_t seed) : faults_(f), rng_(seed) {}
    // Applies the faults to `data` in place, returns the new length.
    size_t Apply(uint8_t* data, size_t length) {
        if (faults_.flipRate <= 0 && faults_.dropRate <= 0) return length;
        size_t out = 0;
        for (size_t i = 0; i < length; ++i) {
            if (faults_.dropRate > 0 && uniform_(rng_) < faults_.dropRate) continue;
            uint8_t c = data[i];
            if (faults_.flipRate > 0 && uniform_(rng_) < faults_.flipRate) c ^= uint8_t(1u << (rng_() % 8));
            data[out++] = c;
        }
        return out;
    }

private:
    Faults faults_;
    std::mt19937 rng_;
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};
};

}  // namespace

LinkResult RunLink(TransferSession& sender, TransferSession& receiver, const Faults& faults,
                   double limitSeconds, const std::function<void(double)>& beforeStep) {
    LinkResult result;
    sender.SetStatusHandler([&](int s) { result.senderStatuses.push_back(s); });
    receiver.SetStatusHandler([&](int s) { result.receiverStatuses.push_back(s); });
    Damage forward(faults, faults.seed), backward(faults, faults.seed * 7919u + 1);
    const double step = 0.005;
    const size_t perStep = 10000;   // about 2 MB/s
    std::vector<uint8_t> buf(perStep);
    int64_t carried = 0;
    double now = 1000.0;
    receiver.Start(now);
    sender.Start(now);
    bool cut = false;
    while (now < 1000.0 + limitSeconds) {
        if (beforeStep) beforeStep(now - 1000.0);
        sender.Tick(now);
        receiver.Tick(now);
        bool stalled = faults.stallAt >= 0 && now - 1000.0 >= faults.stallAt &&
                       now - 1000.0 < faults.stallAt + faults.stallFor;
        if (!stalled && !cut) {
            if (sender.WantsToSend()) {
                size_t n = sender.TakeOutgoing(buf.data(), perStep);
                carried += static_cast<int64_t>(n);
                if (faults.cutAfter >= 0 && carried >= faults.cutAfter) {
                    n -= static_cast<size_t>(carried - faults.cutAfter);
                    cut = true;
                }
                n = forward.Apply(buf.data(), n);
                receiver.Feed(buf.data(), n);
            }
            if (cut) {
                sender.CarrierLost();
                receiver.CarrierLost();
            } else if (receiver.WantsToSend()) {
                size_t n = receiver.TakeOutgoing(buf.data(), perStep);
                if (faults.backChannelToo) n = backward.Apply(buf.data(), n);
                sender.Feed(buf.data(), n);
            }
        }
        if (sender.Finished() && receiver.Finished() && !sender.WantsToSend() && !receiver.WantsToSend()) break;
        // A finished end stops listening, as a real program exits.
        now += step;
    }
    result.senderStatus = sender.Status();
    result.receiverStatus = receiver.Status();
    result.seconds = now - 1000.0;
    return result;
}

}  // namespace zorv::zmodem::test

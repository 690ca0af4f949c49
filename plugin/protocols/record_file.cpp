#include "protocols/record_file.h"

#include <algorithm>
#include <vector>

namespace sirrel {

namespace {

constexpr uint32_t kCopyBlock = 64 * 1024;

} // namespace

bool KeepDamagedCopy(AsyncFile &file, const std::string &path)
{
    AsyncFile copy;
    if (!copy.Open((path + ".damaged").c_str(), true, 0))
        return false;
    copy.SetWritePosition(0, AsyncFile::kFromStart);
    if (!copy.Truncate())
        return false;
    std::vector<uint8_t> block(kCopyBlock);
    file.SetReadPosition(0, AsyncFile::kFromStart);
    const int64_t size = file.Size();
    for (int64_t done = 0; done < size;) {
        const uint32_t want = uint32_t(std::min<int64_t>(kCopyBlock, size - done));
        if (file.Read(block.data(), want) != want || copy.Write(block.data(), want) != want)
            return false;
        done += want;
    }
    return true;
}

bool RecordFile::Open(const std::string &path)
{
    mended_ = false;
    if (!file_.Open(path.c_str(), true, 0))
        return false;
    const int64_t size = file_.Size();
    const int64_t whole = size - size % recordSize_;
    if (whole == size)
        return true;
    if (!KeepDamagedCopy(file_, path)) {
        file_.Close();
        return false;
    }
    file_.SetWritePosition(whole, AsyncFile::kFromStart);
    if (!file_.Truncate()) {
        file_.Close();
        return false;
    }
    mended_ = true;
    return true;
}

bool RecordFile::OpenReadOnly(const std::string &path)
{
    mended_ = false;
    return file_.OpenReadOnly(path.c_str(), 0);
}

uint32_t RecordFile::Count() const { return uint32_t(file_.Size() / recordSize_); }

bool RecordFile::Read(uint32_t index, uint8_t *record)
{
    if (index >= Count())
        return false;
    file_.SetReadPosition(int64_t(index) * recordSize_, AsyncFile::kFromStart);
    return file_.Read(record, recordSize_) == recordSize_;
}

bool RecordFile::Write(uint32_t index, const uint8_t *record)
{
    if (index > Count())
        return false;
    file_.SetWritePosition(int64_t(index) * recordSize_, AsyncFile::kFromStart);
    return file_.Write(record, recordSize_) == recordSize_;
}

bool RecordFile::Truncate(uint32_t count)
{
    if (count > Count())
        return false;
    file_.SetWritePosition(int64_t(count) * recordSize_, AsyncFile::kFromStart);
    return file_.Truncate();
}

} // namespace sirrel

#include "ReportFile.h"

#include <array>
#include <filesystem>
#include <optional>
#include <streambuf>

#include "foundation/StagedFile.h"

namespace {

// A stream buffer that hands its bytes to a staged file in large pieces and keeps the first
// failure, after which it takes nothing more.
class StagedFileBuffer : public std::streambuf {
public:
    explicit StagedFileBuffer(StagedFile& file) : m_file(file) {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }

    Outcome<> Finish() {
        Flush();
        return m_failure ? Outcome<>(*m_failure) : Outcome<>();
    }

protected:
    int_type overflow(int_type c) override {
        if (!Flush()) {
            return traits_type::eof();
        }
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return Flush() ? 0 : -1; }

private:
    bool Flush() {
        if (!m_failure && pptr() != pbase()) {
            if (Outcome<> written = m_file.Write({pbase(), static_cast<size_t>(pptr() - pbase())});
                !written) {
                m_failure = written.failure();
            }
        }
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
        return !m_failure;
    }

    StagedFile& m_file;
    std::array<char, 1 << 16> m_buffer{};
    std::optional<Failure> m_failure;
};

} // namespace

Outcome<> WriteReportFile(const std::string& path,
                          const std::function<void(std::ostream&)>& write) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, error);
        if (error) {
            return Failure{folder.string(), error.message()};
        }
    }
    Outcome<StagedFile> staged = StagedFile::CreateBeside(path, 0644);
    if (!staged) {
        return staged.failure();
    }
    StagedFileBuffer buffer(staged.value());
    std::ostream out(&buffer);
    write(out);
    if (Outcome<> written = buffer.Finish(); !written) {
        return written;
    }
    return staged.value().Commit(StagedFile::Existing::Replace);
}

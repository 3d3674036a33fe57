// A ByteProgress that keeps what it was told, one line each: "begin loader 1000" (or "... ?" for
// an unknown total), "total 512", "done 128", "end".
#pragma once

#include <string>
#include <vector>

#include "link/byte_progress.h"

namespace aurex::test {

struct RecordedBytes final : ByteProgress
{
    void Begin(std::string_view phase, std::optional<std::int64_t> total) override
    {
        lines.push_back("begin " + std::string(phase) + " " + (total ? std::to_string(*total) : "?"));
    }
    void Total(std::int64_t total) override { lines.push_back("total " + std::to_string(total)); }
    void Done(std::int64_t bytes) override { lines.push_back("done " + std::to_string(bytes)); }
    void End() override { lines.push_back("end"); }

    // The lines but the "done" ones, which follow every block.
    std::vector<std::string> Outline() const
    {
        std::vector<std::string> out;
        for (const std::string& l : lines) {
            if (l.rfind("done ", 0) != 0) {
                out.push_back(l);
            }
        }
        return out;
    }
    // The "done" counts between the n-th "begin" and its "end".
    std::vector<std::int64_t> DoneOf(int phase) const
    {
        std::vector<std::int64_t> out;
        int begun = -1;
        for (const std::string& l : lines) {
            begun += l.rfind("begin ", 0) == 0 ? 1 : 0;
            if (begun == phase && l.rfind("done ", 0) == 0) {
                out.push_back(std::stoll(l.substr(5)));
            }
        }
        return out;
    }

    std::vector<std::string> lines;
};

} // namespace aurex::test

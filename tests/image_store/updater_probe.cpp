// A stand-in updater: shows what its bound image set says and, with --extract, extracts it
// into the working folder, checks it, and removes the files again. Used to test that an
// executable made by aurex_add_updater carries its set and can be started by its alias.

#include <cstdio>
#include <filesystem>
#include <string>

#include "image_store/embedded_blobs.h"
#include "image_store/image_store.h"

namespace {

class ConsoleWindow final : public aurex::WindowRequests
{
  public:
    Answer ShowMessage(const Message& request) override
    {
        std::printf("[%s] %s\n", request.caption.c_str(), request.text.c_str());
        return Answer::Ok;
    }
    void ShowStatus(const std::string& text) override { std::printf("%s\n", text.c_str()); }
};

} // namespace

int main(int argc, char** argv)
{
    aurex::ResourceAttributes record;
    if (!aurex::LoadResourceAttributes(aurex::CarriedImageSet(), record)) {
        std::printf("no ResourceAttributes record\n");
        return 1;
    }
    const aurex::AttributeLabelTexts labels = aurex::LabelTextsFor(record);
    std::printf("Radio: %s\nSeries: %s\nUpgrade Type: %s\n", labels.radio_model.c_str(),
                labels.series.c_str(), labels.upgrade_type.c_str());
    if (argc < 2 || std::string(argv[1]) != "--extract")
        return 0;

    ConsoleWindow window;
    aurex::DiskFolder folder(std::filesystem::current_path());
    aurex::ExtractedImageFiles files;
    if (!aurex::ExtractEmbeddedFiles({aurex::CarriedImageSet(), folder, window}, record, false, false, files))
        return 1;
    std::printf("extracted %s %s\n", files.loader_file.c_str(), files.code_file.c_str());
    folder.Remove(files.loader_file);
    folder.Remove(files.code_file);
    return 0;
}

// Writes the built-in Russian texts as a language file, so that Russian can be chosen again
// after another language: shelvara-make-lng OUT.lng
#include <exception>
#include <iostream>

#include "common/Encoding.h"
#include "common/FileUtils.h"
#include "common/MessageTable.h"
#include "settings/LanguageFiles.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: shelvara-make-lng OUT.lng\n";
        return 2;
    }
    try {
        ResetMessageTexts();
        const std::string text = LanguageFileText(Utf8ToAnsi("Русский"), "ru");
        WriteWholeFile(argv[1], text.data(), text.size());
    } catch (const std::exception& e) {
        std::cerr << "shelvara-make-lng: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

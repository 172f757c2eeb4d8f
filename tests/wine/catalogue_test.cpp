// Every text of the catalogue, shown in a real message box and read back.
#include "wine_bench.h"

#include <gtest/gtest.h>

#include <string>

TEST(wine_message_boxes, show_every_catalogue_text_byte_for_byte) {
    const bench_run run = run_in_bench("C:\\ulvbench\\show_catalogue.exe");
    const std::string long_path = "C:\\" + std::string(290, 'l') + "\\x.upd";
    const std::string expected[] = {
        "Erreur : pas de fichier spécifié.",
        "Erreur : ouverture de C:\\ulverno\\paquet.upd impossible.",
        "Erreur : ouverture de " + long_path + " impossible.",
        "Erreur : fichier de mise à jour incorrect.",
        "Erreur : écriture du fichier C:\\ulverno/bin/x.dll impossible.",
        "Erreur : exécution de C:\\ulverno\\suite.exe impossible.",
        "Mise à jour terminée.",
    };
    ASSERT_EQ(run.boxes.size(), std::size(expected)) << run.transcript;
    for (size_t i = 0; i < run.boxes.size(); ++i) {
        EXPECT_EQ(run.boxes[i].caption, "Mise-à-jour d'Ulverno") << i;
        EXPECT_EQ(run.boxes[i].text, expected[i]) << i;
        EXPECT_EQ(run.boxes[i].buttons, "1") << "OK must be the one button of box " << i;
    }
    EXPECT_EQ(run.exit_code, 0);
}

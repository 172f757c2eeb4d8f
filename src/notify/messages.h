// Every text the updater shows, in UTF-8 like every text inside the program.
// The texts that take an argument hold one %s for it.
#pragma once

// Caption of every box.
constexpr char message_caption[] = "Mise-à-jour d'Ulverno";

// No package path on the command line.
constexpr char text_no_package[] = "Erreur : pas de fichier spécifié.";

// The package cannot be opened; %s is its path.
constexpr char text_package_not_opened[] = "Erreur : ouverture de %s impossible.";

// The package is empty, cut short or malformed.
constexpr char text_package_malformed[] = "Erreur : fichier de mise à jour incorrect.";

// A target cannot be written; %s is its path.
constexpr char text_target_not_written[] = "Erreur : écriture du fichier %s impossible.";

// The follow-up command did not start; %s is the command.
constexpr char text_command_not_started[] = "Erreur : exécution de %s impossible.";

// The update is complete.
constexpr char text_update_finished[] = "Mise à jour terminée.";

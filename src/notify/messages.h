// Every text the updater shows, in code page 1252 (\340 is à, \351 is é).
// The texts that take an argument hold one %s for it.
#pragma once

// Caption of every box: "Mise-à-jour d'Ulverno".
constexpr char message_caption[] = "Mise-\340-jour d'Ulverno";

// "Erreur : pas de fichier spécifié." No package path on the command line.
constexpr char text_no_package[] = "Erreur : pas de fichier sp\351cifi\351.";

// "Erreur : ouverture de %s impossible." The package cannot be opened; %s is its path.
constexpr char text_package_not_opened[] = "Erreur : ouverture de %s impossible.";

// "Erreur : fichier de mise à jour incorrect." The package is empty, cut short or malformed.
constexpr char text_package_malformed[] = "Erreur : fichier de mise \340 jour incorrect.";

// "Erreur : écriture du fichier %s impossible." A target cannot be written; %s is its path.
constexpr char text_target_not_written[] = "Erreur : \351criture du fichier %s impossible.";

// "Erreur : exécution de %s impossible." The follow-up command did not start; %s is the command.
constexpr char text_command_not_started[] = "Erreur : ex\351cution de %s impossible.";

// "Mise à jour terminée." The update is complete.
constexpr char text_update_finished[] = "Mise \340 jour termin\351e.";

// German texts of the language module "Lang_GER.Dll". Product and server names and
// the English texts' line breaks are kept; the same ids as the built-in set.

#include <iterator>

#include "language_module.h"

namespace {
using namespace ModuleKey;
constexpr int Menu128 = 128;
constexpr int Language130 = 130;
constexpr int Download131 = 131;
}  // namespace

const ModuleText ModuleTexts[] = {
    {String, 57344, 0, "DFUpdate_tessel"},
    {String, 104, 0, "Orvo-Softwarekonfiguration"},
    {String, 105, 0, "Orvo einschalten und per USB-Kabel mit\n dem PC verbinden, um das Update zu starten."},
    {String, 106, 0, "Bitte warten....\nVerbindung zum Orvo wird hergestellt."},
    {String, 107, 0, "Orvo-Seriennr. : "},
    {String, 109, 0, "den Orvo ein und verbinden .."},
    {String, 110, 0, "Daten werden heruntergeladen"},
    {String, 111, 0,
     "Download abgeschlossen, bitte den Orvo\nvom PC trennen. Auf das X klicken,\n um das Programm zu "
     "schließen, oder den \nOrvo für ein neues Update wieder anschließen."},
    {String, 112, 0, "Update fehlgeschlagen, Orvo neu verbinden."},
    {String, 113, 0,
     "Beim Herunterladen der Daten vom Varnet-Server ist ein Fehler aufgetreten. Dieser Fehler kann "
     "auftreten, wenn keine Internetverbindung besteht, Ihre Firewall-Software den Download blockiert "
     "hat oder der Varnet-Server wegen dringender Wartungsarbeiten offline ist. Bitte prüfen Sie Ihre "
     "Internetverbindung und Ihre Firewall-Einstellungen."},
    {String, 114, 0, "Fehler im Orvo-Updater"},
    {String, 115, 0, "Aktualisierung erfolgreich !"},
    {String, 116, 0,
     "Die heruntergeladenen Daten konnten nicht vorbereitet werden, weil das Update-Programm seine "
     "Arbeitsdateien nicht schreiben kann. Bitte prüfen Sie, ob der Programmordner beschreibbar und die "
     "Festplatte nicht voll ist, und starten Sie das Update-Programm dann erneut."},
    {String, 117, 0,
     "Der Orvo wird gerade aktualisiert. Wenn Sie das Programm jetzt schließen, bleibt der Orvo ohne "
     "vollständige Blitzerdatenbank.\n\nProgramm trotzdem schließen?"},
    {String, 118, 0, "Der Server antwortete mit dem HTTP-Status %1."},
    {String, 119, 0, "%1 konnte nicht beschrieben werden."},
    {String, 120, 0, "Keine Verbindung zu %1."},
    {String, 121, 0, "Zeitüberschreitung beim Herunterladen."},
    {String, 122, 0, "Die Antwort des Servers wurde vorzeitig abgebrochen."},
    {String, 123, 0, "Die Antwort des Servers ist viel zu groß für eine Datenbank."},
    {String, 124, 0, "Die Antwort des Servers konnte nicht empfangen werden."},
    {String, 125, 0, "Die Antwort des Servers nannte keine Länge; ob sie vollständig war, ließ sich nicht feststellen."},
    {String, 126, 0, "Der Datenträger mit %1 ist voll."},
    {String, 127, 0, "Der Ordner %1 ist schreibgeschützt."},
    {String, 129, 0, "Ihre Einstellungen konnten nicht in %1 gespeichert werden. Sie werden beim nächsten Start erneut abgefragt."},
    {String, 130, 0, "Datenbank vom %1, %2 Blitzer"},
    {String, 131, 0, "Datenbank ohne Datum, %2 Blitzer"},
    {String, 132, 0, "Keine Datenbank"},
    {String, 133, 0, "."},
    {String, 134, 0, "Die neue Datenbank enthält nur %1 Blitzer, der Orvo enthält jetzt %2. Weniger als die Hälfte kann bedeuten, dass der Server oder die Datei unvollständig ist.\n\nDie kleinere Datenbank trotzdem schreiben?"},
    {String, 140, 0, "Der Update-Verlauf kann nicht geführt werden: %1\nUpdates laufen ohne ihn weiter."},
    {String, 141, 0, "Das Protokoll kann nicht geschrieben werden: %1\nUpdates laufen ohne Protokoll weiter."},
    {String, 142, 0, "Update-Verlauf"},
    {String, 143, 0, "Beginn"},
    {String, 144, 0, "Orvo-Seriennr."},
    {String, 145, 0, "Quelle"},
    {String, 146, 0, "Ergebnis"},
    {String, 147, 0, "Blitzer"},
    {String, 148, 0, "Datenbankdatum"},
    {String, 149, 0, "Ursache"},
    {String, 150, 0, "Schließen"},
    {String, 151, 0, "Bisher wurde kein Update aufgezeichnet."},
    {String, 152, 0, "Update-Server"},
    {String, 153, 0, "Datei"},
    {String, 154, 0, "Wiederherstellung"},
    {String, 155, 0, "Erfolgreich"},
    {String, 156, 0, "Bereits aktuell"},
    {String, 157, 0, "Fehlgeschlagen"},
    {String, 158, 0, "Unterbrochen"},
    {String, 159, 0, "Läuft"},
    {String, 160, 0, "Frühere Datenbank wiederherstellen"},
    {String, 161, 0, "Aufbewahrte Datenbanken des Orvo mit der Seriennr. %1, die neueste zuerst. Die gewählte wird mit ihrem eigenen Datum zurückgeschrieben."},
    {String, 162, 0, "Aufbewahrt am"},
    {String, 163, 0, "Es ist kein Orvo verbunden. Bitte zuerst den Orvo verbinden und dies dann erneut wählen."},
    {String, 164, 0, "Vom Orvo mit der Seriennr. %1 wurde noch keine frühere Datenbank aufbewahrt."},
    {String, 165, 0, "Der Orvo wird gerade aktualisiert. Bitte warten Sie, bis dieses Update beendet ist, und versuchen Sie es dann erneut."},
    {String, 166, 0, "Die Datenbank wird geschrieben, sobald der Orvo das nächste Mal verbunden wird. Ist er jetzt verbunden, trennen Sie ihn und verbinden Sie ihn erneut."},
    {String, 167, 0, "Datenbankdatei wählen"},
    {String, 168, 0, "Datenbanktexte (*.txt);;Alle Dateien (*)"},
    {String, 169, 0, "Der Protokollordner %1 konnte nicht geöffnet werden."},
    {String, 170, 0, "&Ja"},
    {String, 171, 0, "&Nein"},
    {String, 172, 0, "Überprüfung fehlgeschlagen: Der Orvo weicht an Adresse %1 von der Datenbank ab."},
    {String, 173, 0, "Die Datenbank des Orvo konnte nicht gelesen werden, um eine Kopie aufzubewahren; es wurde nichts gelöscht."},
    {String, 174, 0, "Die Speicheraufteilung des Geräts konnte nicht gelesen werden..."},
    {String, 175, 0, "Keine USB-Berechtigung: Bitte die udev-Regel 70-orvo-dfu.rules installieren"},
    {String, 176, 0, "Vor dem Schreiben wurde ein anderes Gerät angeschlossen."},
    {String, 177, 0, "Keine Verbindung zum Update-Server."},
    {String, 178, 0, "de"},
    {String, 179, 0, "Das Programm wurde vor dem Ende des Updates beendet."},
    {String, 200, 0, "Der Orvo behält seine Datenbank. Bitte\nden Orvo vom PC trennen."},
    {String, 201, 0, "Die Datenbank wird geschrieben, sobald der Orvo verbunden wird."},
    {String, 202, 0, "Wiederherstellung erfolgreich !"},
    {String, 203, 0, "Beibehalten"},
    {String, 204, 0, "Kein USB-Treiber für den Orvo: orvo-dfu.inf installieren"},
    {String, 205, 0, "Die Datei %1 enthält keinen Blitzer-Eintrag: Sie ist kein Datenbanktext."},
    {Menu, Menu128, 0, "&Menü"},
    {Menu, Menu128, 32771, "&Sprache\tStrg+L"},
    {Menu, Menu128, 32772, "Blitzer-&Downloads einstellen"},
    {Menu, Menu128, 32780, "Update-&Verlauf…"},
    {Menu, Menu128, 32781, "Frühere Datenbank &wiederherstellen…"},
    {Menu, Menu128, 32782, "Update aus einer Dat&ei…"},
    {Menu, Menu128, 32783, "&Protokollordner öffnen"},
    {Menu, Menu128, 57665, "&Beenden\tStrg+X"},
    {Dialog, Language130, 0, "Sprache"},
    {Dialog, Language130, 1, "OK"},
    {Dialog, Language130, 2, "Abbrechen"},
    {Dialog, Download131, 0, "Orvo-Einstellung: Blitzer-Downloads"},
    {Dialog, Download131, 1, "OK"},
    {Dialog, Download131, 2, "Abbrechen"},
    {Dialog, Download131, -1, "Gesamtgröße:"},
    {Dialog, Download131, -2,
     "Kreuzen Sie die Downloads an, die Ihr Orvo beim nächsten Update erhalten soll.\nHinweis: Dieser "
     "Download enthält nur Daten zu Blitzern oder britischen Schulen, keine Kartendaten."},
    {Dialog, Download131, 1000, "Blitzer Großbritannien, Irland"},
    {Dialog, Download131, 1001, "Schulen Großbritannien"},
    {Dialog, Download131, 1005, "Frankr., Span., Port., Italien"},
    {Dialog, Download131, 1002, "Holland, Belgien, Luxemburg"},
    {Dialog, Download131, 1003, "Deutschl., Österr., Schweiz"},
    {Dialog, Download131, 1004, "Finnland, Dänemark, Schweden, Norwegen"},
    {Dialog, Download131, 1006, "Südafrika "},
};

const std::size_t ModuleTextCount = std::size(ModuleTexts);

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>CommandLine</name>
    <message>
        <source>KIVO95 Wizard dials one or more dial-up connection entries in turn, starting over after the last, until one connects. Without options it opens the wizard window; a wizard that runs already comes to the front.</source>
        <translation>KIVO95 Wizard wählt einen oder mehrere DFÜ-Einträge nacheinander, beginnt nach dem letzten wieder von vorn, bis eine Verbindung zustande kommt. Ohne Optionen öffnet es das Fenster des Assistenten; ein Assistent, der schon läuft, kommt nach vorn.</translation>
    </message>
    <message>
        <source>Show this help.</source>
        <translation>Diese Hilfe zeigen.</translation>
    </message>
    <message>
        <source>Show the version and the licence.</source>
        <translation>Version und Lizenz zeigen.</translation>
    </message>
    <message>
        <source>Dial the entries named after the options, as if they had been selected and Next pressed on the confirmation page; the wizard starts if it does not run.</source>
        <translation>Die nach den Optionen genannten Einträge wählen, als wären sie ausgewählt und auf der Bestätigungsseite „Weiter“ gedrückt worden; der Assistent startet, wenn er nicht läuft.</translation>
    </message>
    <message>
        <source>With --dial: play FILE (a WAV file) when connected; it becomes the wizard&apos;s tune.</source>
        <translation>Mit --dial: FILE (eine WAV-Datei) abspielen, wenn die Verbindung steht; sie wird die Melodie des Assistenten.</translation>
    </message>
    <message>
        <source>Hang up the running wizard&apos;s connection, or abort its dialing.</source>
        <translation>Die Verbindung des laufenden Assistenten trennen oder sein Wählen abbrechen.</translation>
    </message>
    <message>
        <source>Print what the running wizard does: idle, dialing (entry, attempt, last error) or connected (entry, time).</source>
        <translation>Ausgeben, was der laufende Assistent tut: bereit, wählt (Eintrag, Versuch, letzter Fehler) oder verbunden (Eintrag, Dauer).</translation>
    </message>
    <message>
        <source>With --dial: the phonebook entries to dial.</source>
        <translation>Mit --dial: die zu wählenden Telefonbucheinträge.</translation>
    </message>
    <message>
        <source>Try &quot;kivo95 --help&quot;.</source>
        <translation>Siehe „kivo95 --help“.</translation>
    </message>
    <message>
        <source>--dial, --hang-up and --status go one at a time.</source>
        <translation>--dial, --hang-up und --status gehen nur einzeln.</translation>
    </message>
    <message>
        <source>--dial needs the names of the entries to dial.</source>
        <translation>--dial braucht die Namen der zu wählenden Einträge.</translation>
    </message>
    <message>
        <source>Entries are named only with --dial: %1</source>
        <translation>Einträge werden nur mit --dial genannt: %1</translation>
    </message>
    <message>
        <source>--tune goes with --dial.</source>
        <translation>--tune gehört zu --dial.</translation>
    </message>
    <message>
        <source>no wizard runs</source>
        <translation>kein Assistent läuft</translation>
    </message>
    <message>
        <source>The wizard could not take the request.</source>
        <translation>Der Assistent konnte die Anfrage nicht annehmen.</translation>
    </message>
    <message>
        <source>The running wizard does not know the request &quot;%1&quot;.</source>
        <translation>Der laufende Assistent kennt die Anfrage „%1“ nicht.</translation>
    </message>
    <message>
        <source>the running wizard did not answer</source>
        <translation>der laufende Assistent hat nicht geantwortet</translation>
    </message>
    <message>
        <source>the running wizard cannot do this</source>
        <translation>der laufende Assistent kann das nicht</translation>
    </message>
</context>
<context>
    <name>DialupWindows</name>
    <message>
        <source>Connected to %s</source>
        <translation>Verbunden mit %s</translation>
    </message>
    <message>
        <source>The remote computer for &quot;%1&quot; has answered.
Setting up the connection...</source>
        <translation>Der Remotecomputer für „%1“ hat geantwortet.
Die Verbindung wird hergestellt...</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Connected through %1</source>
        <translation>Verbunden über %1</translation>
    </message>
    <message>
        <source>Dis&amp;connect</source>
        <translation>&amp;Trennen</translation>
    </message>
    <message>
        <source>Duration: %1</source>
        <translation>Dauer: %1</translation>
    </message>
</context>
<context>
    <name>KivoApplication</name>
    <message>
        <source>Unknown exception</source>
        <translation>Unbekannte Ausnahme</translation>
    </message>
</context>
<context>
    <name>Licence</name>
    <message>
        <source>Copyright (C) %1</source>
        <translation>Copyright (C) %1</translation>
    </message>
    <message>
        <source>License %1: GNU GPL version 3 or later &lt;https://gnu.org/licenses/gpl.html&gt;.
This is free software: you are free to change and redistribute it.
There is NO WARRANTY, to the extent permitted by law.</source>
        <translation>Lizenz %1: GNU GPL Version 3 oder neuer &lt;https://gnu.org/licenses/gpl.html&gt;.
Dies ist freie Software: Sie können sie verändern und weitergeben.
Es gibt KEINE GARANTIE, soweit gesetzlich zulässig.</translation>
    </message>
    <message>
        <source>Free software under the GNU General Public License, version 3 or later (%1), without any warranty.</source>
        <translation>Freie Software unter der GNU GPL, Version 3 oder neuer (%1), ohne Gewährleistung.</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
</context>
<context>
    <name>RasError</name>
    <message>
        <source>Access to the device or the service was denied.</source>
        <translation>Der Zugriff auf das Gerät oder den Dienst wurde verweigert.</translation>
    </message>
    <message>
        <source>The connection handle is not valid.</source>
        <translation>Das Verbindungshandle ist ungültig.</translation>
    </message>
    <message>
        <source>There is not enough memory to complete the operation.</source>
        <translation>Für diesen Vorgang ist nicht genügend Arbeitsspeicher verfügbar.</translation>
    </message>
    <message>
        <source>A value passed to the dial-up service is not valid.</source>
        <translation>Ein an den DFÜ-Dienst übergebener Wert ist ungültig.</translation>
    </message>
    <message>
        <source>The operation is still under way.</source>
        <translation>Der Vorgang ist noch nicht abgeschlossen.</translation>
    </message>
    <message>
        <source>The port handle is not valid.</source>
        <translation>Das Anschlusshandle ist ungültig.</translation>
    </message>
    <message>
        <source>The port is already open.</source>
        <translation>Der Anschluss ist bereits geöffnet.</translation>
    </message>
    <message>
        <source>The buffer is too small for the whole list.</source>
        <translation>Der Puffer ist für die ganze Liste zu klein.</translation>
    </message>
    <message>
        <source>The device does not exist or is not supported.</source>
        <translation>Das Gerät ist nicht vorhanden oder wird nicht unterstützt.</translation>
    </message>
    <message>
        <source>The buffer is not valid.</source>
        <translation>Der Puffer ist ungültig.</translation>
    </message>
    <message>
        <source>The port is not connected.</source>
        <translation>Der Anschluss ist nicht verbunden.</translation>
    </message>
    <message>
        <source>The phonebook file cannot be opened.</source>
        <translation>Die Telefonbuchdatei kann nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>The phonebook file cannot be read.</source>
        <translation>Die Telefonbuchdatei kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The phonebook entry does not exist.</source>
        <translation>Der Telefonbucheintrag ist nicht vorhanden.</translation>
    </message>
    <message>
        <source>The connection was closed by the device.</source>
        <translation>Die Verbindung wurde vom Gerät getrennt.</translation>
    </message>
    <message>
        <source>The remote computer ended the connection.</source>
        <translation>Der Remotecomputer hat die Verbindung beendet.</translation>
    </message>
    <message>
        <source>The connection was ended by the user.</source>
        <translation>Die Verbindung wurde vom Benutzer beendet.</translation>
    </message>
    <message>
        <source>The record size passed to the dial-up service is wrong.</source>
        <translation>Die an den DFÜ-Dienst übergebene Datensatzgröße ist falsch.</translation>
    </message>
    <message>
        <source>The port is in use or not set up for dialing out.</source>
        <translation>Der Anschluss wird bereits verwendet oder ist nicht für ausgehende Anrufe eingerichtet.</translation>
    </message>
    <message>
        <source>The request took too long and was given up.</source>
        <translation>Die Anforderung hat zu lange gedauert und wurde abgebrochen.</translation>
    </message>
    <message>
        <source>This user may not dial out: it needs the dip group (modems) or NetworkManager&apos;s permission.</source>
        <translation>Dieser Benutzer darf keine Verbindung wählen: Er braucht die Gruppe dip (Modems) oder die Berechtigung von NetworkManager.</translation>
    </message>
    <message>
        <source>The modem or other device reported an error.</source>
        <translation>Das Modem oder ein anderes Gerät hat einen Fehler gemeldet.</translation>
    </message>
    <message>
        <source>The line is busy.</source>
        <translation>Die Leitung ist besetzt.</translation>
    </message>
    <message>
        <source>A person answered instead of a modem.</source>
        <translation>Statt eines Modems hat eine Person geantwortet.</translation>
    </message>
    <message>
        <source>The remote computer does not answer.</source>
        <translation>Der Remotecomputer antwortet nicht.</translation>
    </message>
    <message>
        <source>No carrier: the remote modem did not respond.</source>
        <translation>Kein Trägersignal: Das Modem der Gegenstelle hat nicht reagiert.</translation>
    </message>
    <message>
        <source>There is no dial tone.</source>
        <translation>Es ist kein Wählton vorhanden.</translation>
    </message>
    <message>
        <source>The user name or password was not accepted.</source>
        <translation>Der Benutzername oder das Kennwort wurde nicht akzeptiert.</translation>
    </message>
    <message>
        <source>The modem or other device failed to start.</source>
        <translation>Das Modem oder ein anderes Gerät konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>The dial-up service is not running or does not answer.</source>
        <translation>Der DFÜ-Dienst wird nicht ausgeführt oder antwortet nicht.</translation>
    </message>
    <message>
        <source>The network settings received for the connection are not usable.</source>
        <translation>Die für die Verbindung empfangenen Netzwerkeinstellungen sind nicht verwendbar.</translation>
    </message>
    <message>
        <source>The remote computer did not answer the link negotiation in time.</source>
        <translation>Der Remotecomputer hat auf die Verbindungsaushandlung nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>This computer cannot make PPP links: its kernel lacks PPP support (ppp_generic, ppp_async).</source>
        <translation>Dieser Computer kann keine PPP-Verbindungen herstellen: seinem Kernel fehlt die PPP-Unterstützung (ppp_generic, ppp_async).</translation>
    </message>
    <message>
        <source>The link negotiation was ended by the remote computer.</source>
        <translation>Die Verbindungsaushandlung wurde vom Remotecomputer beendet.</translation>
    </message>
    <message>
        <source>The line loops back to this computer.</source>
        <translation>Die Leitung führt in einer Schleife zu diesem Computer zurück.</translation>
    </message>
    <message>
        <source>The identity of the remote computer could not be verified.</source>
        <translation>Die Identität des Remotecomputers konnte nicht bestätigt werden.</translation>
    </message>
    <message>
        <source>No network connection is up for the VPN to run over.</source>
        <translation>Es besteht keine Netzwerkverbindung, über die das VPN laufen kann.</translation>
    </message>
</context>
<context>
    <name>TAboutBox</name>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Kivo Wizard for Windows 95</source>
        <translation>Kivo Wizard für Windows 95</translation>
    </message>
    <message>
        <source>Version 1.0.0</source>
        <translation>Version 1.0.0</translation>
    </message>
    <message>
        <source>Your comments, questions and bug reports are welcome at</source>
        <translation>Anregungen, Fragen und Fehlerberichte bitte an</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Pictures drawn for KIVO95 Wizard by the Morvel team.</source>
        <translation>Bilder vom Morvel-Team für KIVO95 Wizard.</translation>
    </message>
</context>
<context>
    <name>TList</name>
    <message>
        <source>List index out of bounds (%1)</source>
        <translation>Listenindex überschreitet das Maximum (%1)</translation>
    </message>
</context>
<context>
    <name>TRAS</name>
    <message>
        <source>Opening Port</source>
        <translation>Anschluss wird geöffnet</translation>
    </message>
    <message>
        <source>Port Opened</source>
        <translation>Anschluss geöffnet</translation>
    </message>
    <message>
        <source>Using Device: </source>
        <translation>Verwendetes Gerät: </translation>
    </message>
    <message>
        <source>Device is connected</source>
        <translation>Gerät ist verbunden</translation>
    </message>
    <message>
        <source>All Required Devices Connected</source>
        <translation>Alle erforderlichen Geräte verbunden</translation>
    </message>
    <message>
        <source>Validating User/Password/Domain</source>
        <translation>Benutzer/Kennwort/Domäne werden überprüft</translation>
    </message>
    <message>
        <source>Authentication Notification</source>
        <translation>Authentifizierungsbenachrichtigung</translation>
    </message>
    <message>
        <source>Authentication Call Back</source>
        <translation>Authentifizierungsrückruf</translation>
    </message>
    <message>
        <source>Project</source>
        <translation>Projektion</translation>
    </message>
    <message>
        <source>Calculating Link speed</source>
        <translation>Verbindungsgeschwindigkeit wird ermittelt</translation>
    </message>
    <message>
        <source>Authentication acknowledged</source>
        <translation>Authentifizierung bestätigt</translation>
    </message>
    <message>
        <source>Reauthenticating</source>
        <translation>Erneute Authentifizierung</translation>
    </message>
    <message>
        <source>Login Authenticated</source>
        <translation>Anmeldung bestätigt</translation>
    </message>
    <message>
        <source>Preparing for Callback</source>
        <translation>Rückruf wird vorbereitet</translation>
    </message>
    <message>
        <source>Waiting for Modem Reset</source>
        <translation>Warten auf Zurücksetzen des Modems</translation>
    </message>
    <message>
        <source>Waiting for Callback</source>
        <translation>Warten auf Rückruf</translation>
    </message>
    <message>
        <source>Not Active</source>
        <translation>Nicht aktiv</translation>
    </message>
    <message>
        <source>Invalid Handle</source>
        <translation>Ungültiges Handle</translation>
    </message>
    <message>
        <source>Not enough memory</source>
        <translation>Nicht genügend Arbeitsspeicher</translation>
    </message>
    <message>
        <source>Status Unknown</source>
        <translation>Status unbekannt</translation>
    </message>
</context>
<context>
    <name>TRegFile</name>
    <message>
        <source>Can&apos;t open a Key</source>
        <translation>Schlüssel kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Invalid variant type</source>
        <translation>Ungültiger Variant-Typ</translation>
    </message>
    <message>
        <source>Reg Error: %1</source>
        <translation>Registrierungsfehler: %1</translation>
    </message>
</context>
<context>
    <name>TfrmProps</name>
    <message>
        <source>Entry Properties</source>
        <translation>Eigenschaften des Eintrags</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Number of Accesses:</source>
        <translation>Anzahl der Zugriffe:</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Last Access:</source>
        <translation>Letzter Zugriff:</translation>
    </message>
    <message>
        <source>Last Access Time:</source>
        <translation>Letzte Dauer:</translation>
    </message>
    <message>
        <source>Total Acesss Time:</source>
        <translation>Gesamtdauer:</translation>
    </message>
    <message>
        <source>These figures are kept for this phonebook entry from the first time KIVO95 Wizard finds it, and are brought up to date with every connection made through it.</source>
        <translation>Diese Werte führt KIVO95 Wizard für den Telefonbucheintrag, seit es ihn zum ersten Mal gefunden hat, und bringt sie bei jeder Verbindung über ihn auf den neuesten Stand.</translation>
    </message>
    <message>
        <source>Press &quot;Clear&quot; beside a figure to reset it. A cleared figure is stored at once: there is no undo.</source>
        <translation>„Löschen“ setzt einen Wert sofort und endgültig zurück: Es gibt kein Rückgängig.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Do you really want to clear %1&apos;s 
<byte value="xd"/>%2?</source>
        <translation>Möchten Sie bei %1 wirklich 
<byte value="xd"/>%2 löschen?</translation>
    </message>
    <message>
        <source>Confirmation</source>
        <translation>Bestätigung</translation>
    </message>
    <message>
        <source>Number of Accesses</source>
        <translation>die Anzahl der Zugriffe</translation>
    </message>
    <message>
        <source>Last of Access Date</source>
        <translation>das Datum des letzten Zugriffs</translation>
    </message>
    <message>
        <source>Last Connection Duration Time</source>
        <translation>die Dauer der letzten Verbindung</translation>
    </message>
    <message>
        <source>Total Access Time</source>
        <translation>die gesamte Verbindungsdauer</translation>
    </message>
</context>
<context>
    <name>TfrmSelect</name>
    <message>
        <source>KIVO95 Wizard</source>
        <translation>KIVO95 Wizard</translation>
    </message>
    <message>
        <source>Welcome to KIVO95 Wizard!</source>
        <translation>Willkommen bei KIVO95!</translation>
    </message>
    <message>
        <source>Show this Welcome page next time you run KIVO95 Wizard</source>
        <translation>Willkommensseite beim nächsten Start wieder zeigen</translation>
    </message>
    <message>
        <source>Select one or more entries do dial below:</source>
        <translation>Markieren Sie die zu wählenden Einträge:</translation>
    </message>
    <message>
        <source>Press secondary mouse button on an entry if you wish to review or reset its statistics.</source>
        <translation>Klicken Sie mit der rechten Maustaste auf einen Eintrag, um seine Statistik anzusehen oder zurückzusetzen.</translation>
    </message>
    <message>
        <source>Please enter the tune that will be played when a connection is successfully made (leave blank for no tune):</source>
        <translation>Geben Sie die Melodie an, die nach einem erfolgreichen Verbindungsaufbau gespielt wird (leer lassen für keine Melodie):</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>You are about to dial the following Dial-Up Connection  phonebook entries:</source>
        <translation>Sie wählen jetzt die folgenden Telefonbucheinträge des DFÜ-Netzwerks:</translation>
    </message>
    <message>
        <source>Press &quot;Next&quot; below to proceed with the dialing process, or else press &quot;Back&quot; to make any corrections.</source>
        <translation>Klicken Sie unten auf „Weiter“, um mit dem Wählen zu beginnen, oder auf „Zurück“, um Ihre Auswahl zu ändern.</translation>
    </message>
    <message>
        <source>Dialing Progress</source>
        <translation>Wählvorgang</translation>
    </message>
    <message>
        <source>Dialing</source>
        <translation>Eintrag:</translation>
    </message>
    <message>
        <source>Last status:</source>
        <translation>Status:</translation>
    </message>
    <message>
        <source>Preparing to connect...</source>
        <translation>Verbindung wird vorbereitet...</translation>
    </message>
    <message>
        <source>Controls</source>
        <translation>Steuerung</translation>
    </message>
    <message>
        <source>&amp;Skip Entry</source>
        <translation>Ü&amp;berspringen</translation>
    </message>
    <message>
        <source>&amp;Abort Dialing</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Connected to</source>
        <translation>Verbunden mit</translation>
    </message>
    <message>
        <source>Elapsed Connection Time:</source>
        <translation>Verbindungsdauer:</translation>
    </message>
    <message>
        <source>&amp;Hide Window</source>
        <translation>&amp;Ausblenden</translation>
    </message>
    <message>
        <source>About...</source>
        <translation>Info...</translation>
    </message>
    <message>
        <source>&lt; Back</source>
        <translation>&lt; Zurück</translation>
    </message>
    <message>
        <source>Next &gt;</source>
        <translation>Weiter &gt;</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Connected to %1: %2</source>
        <translation>Verbunden mit %1: %2</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <source>Connection has been broken!</source>
        <translation>Die Verbindung wurde unterbrochen!</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>The total time of %1 is &quot;%2&quot;, which is no duration (%3). It counts on from 00:00:00.</source>
        <translation>Die Gesamtdauer von %1 ist „%2“ und damit keine Zeitdauer (%3). Sie wird ab 00:00:00 weitergezählt.</translation>
    </message>
    <message>
        <source>The total time of %1 is missing, which is no duration (%2). It counts on from 00:00:00.</source>
        <translation>Die Gesamtdauer von %1 fehlt (%2). Sie wird ab 00:00:00 weitergezählt.</translation>
    </message>
    <message>
        <source>KIVO95 Wizard - Welcome (0 of 3)</source>
        <translation>KIVO95 Wizard - Willkommen (0 von 3)</translation>
    </message>
    <message>
        <source>KIVO95 Wizard - Entry Selection (1 of 3)</source>
        <translation>KIVO95 Wizard - Auswahl der Einträge (1 von 3)</translation>
    </message>
    <message>
        <source>KIVO95 Wizard - Tune (2 of 3)</source>
        <translation>KIVO95 Wizard - Melodie (2 von 3)</translation>
    </message>
    <message>
        <source>KIVO95 Wizard - Confirmation (3 of 3)</source>
        <translation>KIVO95 Wizard - Bestätigung (3 von 3)</translation>
    </message>
    <message>
        <source>KIVO95 Wizard - Dialing</source>
        <translation>KIVO95 Wizard - Wählen</translation>
    </message>
    <message>
        <source>KIVO95 Wizard - Info</source>
        <translation>KIVO95 Wizard - Info</translation>
    </message>
    <message>
        <source>This program  complements the features of Windows 95&apos;s 
Dial-Up Networking folder.

It is a new version of the KIVO95 v0.5, which was only
a connection alarm, now it has evolved into a wizard that
guides you through a series of steps to connect you to RAS
servers (Windows NT in your office, Internet Access Provider,
etc.)

Through it, you can cycle through the various phone numbers 
of your connections while they are busy, play a tune when you
get a successful connection and keep track of statistical data 
about your connections (total connect time,last connect 
time, etc.) on a per entry basis.

Questions, suggestions and bug reports are welcome: write to
kivo95@morvel.example, or to Morvel Software, P.O. Box 95,
Kivo, Finland.</source>
        <translation>Dieses Programm ergänzt die Funktionen des Ordners
DFÜ-Netzwerk von Windows 95.

Es ist eine neue Version von KIVO95 v0.5, das nur ein
Verbindungsalarm war. Inzwischen ist daraus ein Assistent
geworden, der Sie Schritt für Schritt mit RAS-Servern
verbindet (Windows NT in Ihrem Büro, Internetanbieter usw.).

Mit ihm wählen Sie die Rufnummern Ihrer Verbindungen
reihum, solange sie besetzt sind, spielen eine Melodie,
sobald eine Verbindung zustande kommt, und führen für
jeden Eintrag eine Statistik über Ihre Verbindungen
(gesamte Verbindungsdauer, letzte Verbindungsdauer usw.).

Fragen, Anregungen und Fehlerberichte sind willkommen:
schreiben Sie an kivo95@morvel.example oder an Morvel
Software, P.O. Box 95, Kivo, Finnland.</translation>
    </message>
    <message>
        <source>KIVO95 must be reinstalled. Closing...</source>
        <translation>KIVO95 muss neu installiert werden. Das Programm wird beendet...</translation>
    </message>
    <message>
        <source>Error in installation</source>
        <translation>Fehler bei der Installation</translation>
    </message>
    <message>
        <source>At least one entry must be selected!</source>
        <translation>Es muss mindestens ein Eintrag markiert sein!</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Accesses</source>
        <translation>Zugriffe</translation>
    </message>
    <message>
        <source>Last Access</source>
        <translation>Letzter Zugriff</translation>
    </message>
    <message>
        <source>Last Time</source>
        <translation>Letzte Dauer</translation>
    </message>
    <message>
        <source>Total Time</source>
        <translation>Gesamtdauer</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>Lar&amp;ge Icons</source>
        <translation>&amp;Große Symbole</translation>
    </message>
    <message>
        <source>S&amp;mall Icons</source>
        <translation>&amp;Kleine Symbole</translation>
    </message>
    <message>
        <source>&amp;List</source>
        <translation>&amp;Liste</translation>
    </message>
    <message>
        <source>&amp;Details</source>
        <translation>&amp;Details</translation>
    </message>
    <message>
        <source>Entry Properties</source>
        <translation>Eigenschaften des Eintrags</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Wave files (*.wav)|*.wav</source>
        <translation>Wave-Dateien (*.wav)|*.wav</translation>
    </message>
    <message>
        <source>Dial service: NetworkManager, dialing the network connections set up on this computer.</source>
        <translation>Wähldienst: NetworkManager, gewählt werden die auf diesem Rechner eingerichteten Netzverbindungen.</translation>
    </message>
    <message>
        <source>Dial service: pppd, dialing the modem connections set up on this computer.</source>
        <translation>Wähldienst: pppd, gewählt werden die auf diesem Rechner eingerichteten Modemverbindungen.</translation>
    </message>
    <message>
        <source>Dial service: a simulation with practice entries; no modem or network is used.</source>
        <translation>Wähldienst: eine Simulation mit Übungseinträgen; weder Modem noch Netz werden benutzt.</translation>
    </message>
    <message>
        <source>Status Unknown</source>
        <translation>Status unbekannt</translation>
    </message>
    <message>
        <source>The entries could not be read (error %1): %2</source>
        <translation>Die Einträge konnten nicht gelesen werden (Fehler %1): %2</translation>
    </message>
</context>
<context>
    <name>Variant</name>
    <message>
        <source>Could not convert variant of type (%1) into type (%2)</source>
        <translation>Variante des Typs (%1) konnte nicht in Typ (%2) konvertiert werden</translation>
    </message>
    <message>
        <source>Overflow while converting variant of type (%1) into type (%2)</source>
        <translation>Überlauf bei Konvertierung einer Variante des Typs (%1) in Typ (%2)</translation>
    </message>
</context>
<context>
    <name>kivo::WizardBus</name>
    <message>
        <source>no D-Bus session bus (%1)</source>
        <translation>kein D-Bus-Sitzungsbus (%1)</translation>
    </message>
    <message>
        <source>cannot put %1 on the session bus</source>
        <translation>%1 kann nicht auf den Sitzungsbus gestellt werden</translation>
    </message>
    <message>
        <source>the name %1 is taken on the session bus</source>
        <translation>der Name %1 ist auf dem Sitzungsbus vergeben</translation>
    </message>
</context>
<context>
    <name>kivo::WizardControl</name>
    <message>
        <source>The phonebook has no entries.</source>
        <translation>Das Telefonbuch hat keine Einträge.</translation>
    </message>
    <message>
        <source>The entries are: %1.</source>
        <translation>Die Einträge sind: %1.</translation>
    </message>
    <message>
        <source>No entry to dial was named.</source>
        <translation>Es wurde kein zu wählender Eintrag genannt.</translation>
    </message>
    <message>
        <source>No entry named %1.</source>
        <translation>Kein Eintrag namens %1.</translation>
    </message>
    <message>
        <source>The tune %1 must be given with its full path.</source>
        <translation>Die Melodie %1 muss mit ihrem vollständigen Pfad angegeben werden.</translation>
    </message>
    <message>
        <source>The tune %1 is not a file that can be read.</source>
        <translation>Die Melodie %1 ist keine lesbare Datei.</translation>
    </message>
    <message>
        <source>Already connected to %1; hang up first.</source>
        <translation>Schon verbunden mit %1; zuerst trennen.</translation>
    </message>
    <message>
        <source>The wizard is waiting for an answer in one of its windows.</source>
        <translation>Der Assistent wartet in einem seiner Fenster auf eine Antwort.</translation>
    </message>
    <message>
        <source>connected to %1 for %2</source>
        <translation>verbunden mit %1 seit %2</translation>
    </message>
    <message>
        <source>dialing %1, attempt %2</source>
        <translation>wählt %1, Versuch %2</translation>
    </message>
    <message>
        <source>, last error: %1</source>
        <translation>, letzter Fehler: %1</translation>
    </message>
    <message>
        <source>idle</source>
        <translation>bereit</translation>
    </message>
    <message>
        <source>Connected to %1</source>
        <translation>Verbunden mit %1</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>%1; the wizard runs without D-Bus control</source>
        <translation>%1; der Assistent läuft ohne D-Bus-Steuerung</translation>
    </message>
</context>
</TS>

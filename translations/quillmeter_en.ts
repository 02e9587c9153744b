<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>AppOptions</name>
    <message>
        <source>Usage: quillmeter [options]
  --data-dir DIR       data folder (resume file, BufferFile.bmp, default output folder)
  --port N             TCP port of the instrument instead of 5198
  --address HOST       TCP to HOST (clears USB) for this start
  --com N              the serial port COMn, 1 to 16 (ticks USB) for this start
  --log, --no-log      tick or clear 自動測定ログ for this start
  --screen-save, --no-screen-save  tick or clear DS画面格納 for this start
  --screen-show, --no-screen-show  tick or clear DS画面表示 for this start (not with --headless)
  --manual, --no-manual            tick or clear マニュアル継続 for this start (not with --headless)
  --screen-png         tick 表示にも PNG を使う for this start: the display takes the
                       screen as PNG, one transfer a cycle when saving too
  --interval SECONDS   繰返間隔(s) for this start
  --repeat N           繰返回数 (0 to 10000) for this start
  --folder DIR         フォルダ (output folder) for this start
  --name HEADER        名称ヘッダ (file-name header) for this start
  --demo               start a simulated instrument on 127.0.0.1 and use it for this start
  --waveform           show the waveform export controls and tick CSV波形格納
  --autostart          press 測定開始 once the window is up
  --transfer-only      with --autostart: press 波形転送 instead (one cycle)
  --assume-yes         answer every OK/Cancel question with OK; failures go to stderr
  --exit-after-run     close the window when the started run ends
                       (exit code 0 normal, 1 connection failed, 2 error, 3 a file not written)
  --echo-status        print every status text on stdout
  --headless           no window (no display needed): one run with the saved settings;
                       implies --autostart --assume-yes --exit-after-run --echo-status;
                       never asks to continue; must record something (--log, --screen-save
                       or --waveform, or saved settings that do)
  --overwrite          with --headless: replace per-cycle files of earlier runs
  --progress           with --headless: a line per cycle on stderr also when it is no terminal
                       (on a terminal one line shows the progress all the time)
  --reconnect MINUTES  an instrument lost, or not there at the start, is connected again
                       for up to MINUTES minutes
  --trend              open the trend window at start
  --stats FILE         print the statistics of a log CSV file and exit (with --data-dir only)
  --serve [ADDRESS:]PORT  a read-only web page of the run on PORT (0: any free port), on
                       127.0.0.1 unless ADDRESS; the page&apos;s address is printed once
  --serve-token TEXT   the token every web request must give (?token= or Authorization:
                       Bearer); on an address that is not loopback one is made if not given
  --mqtt URL           publish every logged cycle, the state and the statistics to an MQTT
                       broker: mqtt://HOST[:PORT]/PREFIX or mqtts://HOST[:PORT]/PREFIX (TLS);
                       records wait on disk in the data folder while the broker is away
</source>
        <translation>Usage: quillmeter [options]
  --data-dir DIR       data folder (resume file, BufferFile.bmp, default output folder)
  --port N             TCP port of the instrument instead of 5198
  --address HOST       TCP to HOST (clears USB) for this start
  --com N              the serial port COMn, 1 to 16 (ticks USB) for this start
  --log, --no-log      tick or clear &quot;Log measurements&quot; for this start
  --screen-save, --no-screen-save  tick or clear &quot;Save screen&quot; for this start
  --screen-show, --no-screen-show  tick or clear &quot;Show screen&quot; for this start (not with --headless)
  --manual, --no-manual            tick or clear &quot;Manual step&quot; for this start (not with --headless)
  --screen-png         tick &quot;Use PNG for the display too&quot; for this start: the display takes the
                       screen as PNG, one transfer a cycle when saving too
  --interval SECONDS   &quot;Interval (s)&quot; for this start
  --repeat N           &quot;Repeats&quot; (0 to 10000) for this start
  --folder DIR         &quot;Folder&quot; (output folder) for this start
  --name HEADER        &quot;Name prefix&quot; (file-name header) for this start
  --demo               start a simulated instrument on 127.0.0.1 and use it for this start
  --waveform           show the waveform export controls and tick &quot;Save waveform CSV&quot;
  --autostart          press &quot;Start&quot; once the window is up
  --transfer-only      with --autostart: press &quot;Transfer waveform&quot; instead (one cycle)
  --assume-yes         answer every OK/Cancel question with OK; failures go to stderr
  --exit-after-run     close the window when the started run ends
                       (exit code 0 normal, 1 connection failed, 2 error, 3 a file not written)
  --echo-status        print every status text on stdout
  --headless           no window (no display needed): one run with the saved settings;
                       implies --autostart --assume-yes --exit-after-run --echo-status;
                       never asks to continue; must record something (--log, --screen-save
                       or --waveform, or saved settings that do)
  --overwrite          with --headless: replace per-cycle files of earlier runs
  --progress           with --headless: a line per cycle on stderr also when it is no terminal
                       (on a terminal one line shows the progress all the time)
  --reconnect MINUTES  an instrument lost, or not there at the start, is connected again
                       for up to MINUTES minutes
  --trend              open the trend window at start
  --stats FILE         print the statistics of a log CSV file and exit (with --data-dir only)
  --serve [ADDRESS:]PORT  a read-only web page of the run on PORT (0: any free port), on
                       127.0.0.1 unless ADDRESS; the page&apos;s address is printed once
  --serve-token TEXT   the token every web request must give (?token= or Authorization:
                       Bearer); on an address that is not loopback one is made if not given
  --mqtt URL           publish every logged cycle, the state and the statistics to an MQTT
                       broker: mqtt://HOST[:PORT]/PREFIX or mqtts://HOST[:PORT]/PREFIX (TLS);
                       records wait on disk in the data folder while the broker is away
</translation>
    </message>
    <message>
        <source>                       (not in this build: it has no MQTT library, so --mqtt is refused)
</source>
        <translation>                       (not in this build: it has no MQTT library, so --mqtt is refused)
</translation>
    </message>
    <message>
        <source>                       (this Windows build has no TLS: mqtt:// only)
</source>
        <translation>                       (this Windows build has no TLS: mqtt:// only)
</translation>
    </message>
    <message>
        <source>  --mqtt-user NAME     the user name for the broker; the password comes from the environment
                       variable QUILLMETER_MQTT_PASSWORD or --mqtt-password-file FILE
  --mqtt-ca FILE       mqtts: trust these CA certificates instead of the system&apos;s
  --station NAME       the bench&apos;s name in the topics PREFIX/NAME/... (default: host-header)
  --lang ja|en         the language of the texts for this start (without it: the one
                       chosen in the window&apos;s 設定 menu, else ja); --echo-status follows it
  --version            the program&apos;s version, its Qt and its commit
  --help, -h           this text
Qt&apos;s own options (-platform NAME, -style NAME ...) are passed to Qt.
</source>
        <translation>  --mqtt-user NAME     the user name for the broker; the password comes from the environment
                       variable QUILLMETER_MQTT_PASSWORD or --mqtt-password-file FILE
  --mqtt-ca FILE       mqtts: trust these CA certificates instead of the system&apos;s
  --station NAME       the bench&apos;s name in the topics PREFIX/NAME/... (default: host-header)
  --lang ja|en         the language of the texts for this start (without it: the one
                       chosen in the window&apos;s Settings menu, else ja); --echo-status follows it
  --version            the program&apos;s version, its Qt and its commit
  --help, -h           this text
Qt&apos;s own options (-platform NAME, -style NAME ...) are passed to Qt.
</translation>
    </message>
    <message>
        <source>(quillmeter --help lists every option)</source>
        <translation>(quillmeter --help lists every option)</translation>
    </message>
    <message>
        <source>--headless: nothing to record (no log, no screen saving, no waveform files): give --log, --screen-save or --waveform</source>
        <translation>--headless: nothing to record (no log, no screen saving, no waveform files): give --log, --screen-save or --waveform</translation>
    </message>
    <message>
        <source>%1: needs %2</source>
        <translation>%1: needs %2</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; is not %3</source>
        <translation>%1: &quot;%2&quot; is not %3</translation>
    </message>
    <message>
        <source>a value</source>
        <translation>a value</translation>
    </message>
    <message>
        <source>a folder</source>
        <translation>a folder</translation>
    </message>
    <message>
        <source>a number</source>
        <translation>a number</translation>
    </message>
    <message>
        <source>a port number from 1 to 65535</source>
        <translation>a port number from 1 to 65535</translation>
    </message>
    <message>
        <source>a number from 0 to 10000</source>
        <translation>a number from 0 to 10000</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>a number of seconds</source>
        <translation>a number of seconds</translation>
    </message>
    <message>
        <source>a port number</source>
        <translation>a port number</translation>
    </message>
    <message>
        <source>a COM port number from 1 to 16</source>
        <translation>a COM port number from 1 to 16</translation>
    </message>
    <message>
        <source>a host</source>
        <translation>a host</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; is not a usable folder (%3)</source>
        <translation>%1: &quot;%2&quot; is not a usable folder (%3)</translation>
    </message>
    <message>
        <source>a file-name header</source>
        <translation>a file-name header</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; is not a file-name header (%3)</source>
        <translation>%1: &quot;%2&quot; is not a file-name header (%3)</translation>
    </message>
    <message>
        <source>minutes</source>
        <translation>minutes</translation>
    </message>
    <message>
        <source>a number of minutes above 0</source>
        <translation>a number of minutes above 0</translation>
    </message>
    <message>
        <source>[ADDRESS:]PORT</source>
        <translation>[ADDRESS:]PORT</translation>
    </message>
    <message>
        <source>[ADDRESS:]PORT (an IP address and a port from 0 to 65535)</source>
        <translation>[ADDRESS:]PORT (an IP address and a port from 0 to 65535)</translation>
    </message>
    <message>
        <source>a text</source>
        <translation>a text</translation>
    </message>
    <message>
        <source>%1: this build of Quillmeter has no MQTT (it was built without libmosquitto)</source>
        <translation>%1: this build of Quillmeter has no MQTT (it was built without libmosquitto)</translation>
    </message>
    <message>
        <source>a name</source>
        <translation>a name</translation>
    </message>
    <message>
        <source>a file</source>
        <translation>a file</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; is not a readable file</source>
        <translation>%1: &quot;%2&quot; is not a readable file</translation>
    </message>
    <message>
        <source>a log file</source>
        <translation>a log file</translation>
    </message>
    <message>
        <source>ja or en</source>
        <translation>ja or en</translation>
    </message>
    <message>
        <source>%1: unknown option</source>
        <translation>%1: unknown option</translation>
    </message>
    <message>
        <source>--stats: cannot be combined with %1 (--stats only reads a log file)</source>
        <translation>--stats: cannot be combined with %1 (--stats only reads a log file)</translation>
    </message>
    <message>
        <source>--progress: only with --headless</source>
        <translation>--progress: only with --headless</translation>
    </message>
    <message>
        <source>--manual: a --headless run never asks to continue (it waits for the interval)</source>
        <translation>--manual: a --headless run never asks to continue (it waits for the interval)</translation>
    </message>
    <message>
        <source>--screen-show: a --headless run shows no screen (--screen-save saves it)</source>
        <translation>--screen-show: a --headless run shows no screen (--screen-save saves it)</translation>
    </message>
    <message>
        <source>--screen-png: a --headless run shows no screen (the images it saves are PNG)</source>
        <translation>--screen-png: a --headless run shows no screen (the images it saves are PNG)</translation>
    </message>
    <message>
        <source>--mqtt-ca: the broker&apos;s address is not mqtts://</source>
        <translation>--mqtt-ca: the broker&apos;s address is not mqtts://</translation>
    </message>
    <message>
        <source>--overwrite: only with --headless (the window asks)</source>
        <translation>--overwrite: only with --headless (the window asks)</translation>
    </message>
    <message>
        <source>--transfer-only: only with --autostart</source>
        <translation>--transfer-only: only with --autostart</translation>
    </message>
    <message>
        <source>--serve-token: only with --serve</source>
        <translation>--serve-token: only with --serve</translation>
    </message>
</context>
<context>
    <name>ConfigQueries</name>
    <message>
        <source>装置の応答の数値が範囲を超えています</source>
        <translation>A number in the instrument&apos;s reply is out of range</translation>
    </message>
    <message>
        <source>装置の応答を理解できません</source>
        <translation>Cannot make sense of the instrument&apos;s reply</translation>
    </message>
    <message>
        <source>この装置のチャンネル数には対応していません</source>
        <translation>This instrument&apos;s number of channels is not supported</translation>
    </message>
    <message>
        <source>装置の時間軸の設定を読めません</source>
        <translation>Cannot read the instrument&apos;s time base setting</translation>
    </message>
    <message>
        <source>装置のレコード長を読めません</source>
        <translation>Cannot read the instrument&apos;s record length</translation>
    </message>
</context>
<context>
    <name>Console</name>
    <message>
        <source>測定のスレッドが終わりません (%1)。待たずに終了します</source>
        <translation>The measurement thread does not end (%1). Exiting without waiting for it</translation>
    </message>
</context>
<context>
    <name>DiskQueue</name>
    <message>
        <source>送信待ちファイルの番号が上限 (q-%1.dat) に達しました: フォルダ %2 を空にしてください</source>
        <translation>the queue files have reached their last number (q-%1.dat): empty the folder %2</translation>
    </message>
    <message>
        <source>フォルダ %1 を作成できません</source>
        <translation>Cannot create folder %1</translation>
    </message>
    <message>
        <source>フォルダ %1 は別の Quillmeter が使っています</source>
        <translation>Folder %1 is in use by another Quillmeter</translation>
    </message>
    <message>
        <source>記録が大きすぎます (%1 バイト)</source>
        <translation>Record too large (%1 bytes)</translation>
    </message>
    <message>
        <source>記録が壊れています</source>
        <translation>Record is damaged</translation>
    </message>
    <message>
        <source>%1 を削除できません</source>
        <translation>Cannot delete %1</translation>
    </message>
</context>
<context>
    <name>FileNames</name>
    <message>
        <source>制御文字 (%1) を含みます</source>
        <translation>contains a control character (%1)</translation>
    </message>
    <message>
        <source>Windows で使えない文字 (%1) を含みます</source>
        <translation>contains a character Windows does not allow (%1)</translation>
    </message>
    <message>
        <source>Windows の予約名 (%1) です</source>
        <translation>is a reserved name on Windows (%1)</translation>
    </message>
    <message>
        <source>末尾が &quot;.&quot; か空白です (Windows では使えません)</source>
        <translation>ends in &quot;.&quot; or a space (not allowed on Windows)</translation>
    </message>
    <message>
        <source>フォルダの区切り (/ \) を含みます</source>
        <translation>contains a folder separator (/ \)</translation>
    </message>
    <message>
        <source>&quot;..&quot; を含みます</source>
        <translation>contains &quot;..&quot;</translation>
    </message>
    <message>
        <source>長すぎます (%1 文字まで)</source>
        <translation>too long (at most %1 characters)</translation>
    </message>
    <message>
        <source>空です</source>
        <translation>empty</translation>
    </message>
    <message>
        <source>出力フォルダ &quot;%1&quot; は使えません: %2</source>
        <translation>Output folder &quot;%1&quot; cannot be used: %2</translation>
    </message>
    <message>
        <source>名称ヘッダ &quot;%1&quot; は使えません: %2</source>
        <translation>Name prefix &quot;%1&quot; cannot be used: %2</translation>
    </message>
</context>
<context>
    <name>FileSinks</name>
    <message>
        <source>ログファイル %1 を開けません: %2</source>
        <translation>Cannot open log file %1: %2</translation>
    </message>
    <message>
        <source>ログファイル %1 に書けません: %2</source>
        <translation>Cannot write log file %1: %2</translation>
    </message>
    <message>
        <source> (書き込み待ちが %1 行になったので測定を終了します)</source>
        <translation> (%1 lines waiting to be written: stopping the measurement)</translation>
    </message>
    <message>
        <source> (%1 行が書き込み待ちです)</source>
        <translation> (%1 lines waiting to be written)</translation>
    </message>
    <message>
        <source>ログファイル %1 に書けなかった %2 行が残っています</source>
        <translation>%2 lines could not be written to log file %1</translation>
    </message>
    <message>
        <source> サイクル %1: </source>
        <translation> cycle %1: </translation>
    </message>
    <message>
        <source>イベントログ %1 に %2 行を書けませんでした: %3</source>
        <translation>Could not write %2 lines to event log %1: %3</translation>
    </message>
    <message>
        <source>DS画面のファイル &quot;%1&quot; を保存できません: %2</source>
        <translation>Cannot save screen image file &quot;%1&quot;: %2</translation>
    </message>
</context>
<context>
    <name>FileWrite</name>
    <message>
        <source>%1 / %2 バイトしか書けません</source>
        <translation>only %1 of %2 bytes written</translation>
    </message>
</context>
<context>
    <name>FolderDialog</name>
    <message>
        <source>画面格納ファイルの選択</source>
        <translation>Choose output file</translation>
    </message>
    <message>
        <source>画面フォルダとファイルヘッダーは上図に示します</source>
        <translation>Folder and name prefix are shown above</translation>
    </message>
</context>
<context>
    <name>Headless</name>
    <message>
        <source>マニュアル継続は --headless では使いません: 繰返間隔 (%1 s) で続けます</source>
        <translation>Manual step is not used with --headless: continuing at the interval (%1 s)</translation>
    </message>
    <message>
        <source>模擬装置を開始できません: %1</source>
        <translation>Cannot start the simulated instrument: %1</translation>
    </message>
</context>
<context>
    <name>HeadlessConsole</name>
    <message>
        <source>サイクル %1/%2  経過 %3</source>
        <translation>Cycle %1/%2  elapsed %3</translation>
    </message>
    <message>
        <source>  残り %1</source>
        <translation>  left %1</translation>
    </message>
    <message>
        <source>  残り -</source>
        <translation>  left -</translation>
    </message>
</context>
<context>
    <name>Instrument</name>
    <message>
        <source>装置との接続が切れました (%1)</source>
        <translation>Link to the instrument lost (%1)</translation>
    </message>
    <message>
        <source>装置の応答が長すぎます: %1</source>
        <translation>Instrument reply too long: %1</translation>
    </message>
    <message>
        <source>装置から応答がありません: %1</source>
        <translation>No reply from the instrument: %1</translation>
    </message>
    <message>
        <source>%1: %2 サンプルを変換できませんでした</source>
        <translation>%1: %2 samples could not be converted</translation>
    </message>
    <message>
        <source>%1: %2 サンプルを格納できませんでした</source>
        <translation>%1: %2 samples could not be stored</translation>
    </message>
</context>
<context>
    <name>LogReader</name>
    <message>
        <source>%1 バイトを超える行</source>
        <translation>line longer than %1 bytes</translation>
    </message>
    <message>
        <source>%1 個のセル、6 個のはず</source>
        <translation>%1 cells, 6 expected</translation>
    </message>
    <message>
        <source>サイクル番号 &quot;%1&quot; が整数でない</source>
        <translation>cycle number &quot;%1&quot; is not an integer</translation>
    </message>
    <message>
        <source>ログファイル %1 を読めません (%2 行目の後): %3</source>
        <translation>Cannot read log file %1 (after line %2): %3</translation>
    </message>
    <message>
        <source>%1 は空です: ログファイルではありません</source>
        <translation>%1 is empty: not a log file</translation>
    </message>
    <message>
        <source>%1 の %2 行目はログの行ではありません (%3): ログファイルではありません</source>
        <translation>Line %2 of %1 is not a log line (%3): not a log file</translation>
    </message>
    <message>
        <source>%1 行目 (%2)</source>
        <translation>line %1 (%2)</translation>
    </message>
    <message>
        <source>ほか %1 行</source>
        <translation>%1 more lines</translation>
    </message>
    <message>
        <source>%1 のログの行でない %2 行を読み飛ばしました: %3</source>
        <translation>Skipped %2 lines of %1 that are not log lines: %3</translation>
    </message>
    <message>
        <source>ログファイル %1 を開けません: %2</source>
        <translation>Cannot open log file %1: %2</translation>
    </message>
</context>
<context>
    <name>MeasurementRun</name>
    <message>
        <source>動作完了しました</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>装置が正しく接続されていません！</source>
        <translation>The instrument is not connected properly!</translation>
    </message>
    <message>
        <source>%1 の応答を待っています</source>
        <translation>Waiting for the reply to %1</translation>
    </message>
    <message>
        <source>応答が長すぎます: %1</source>
        <translation>Reply too long: %1</translation>
    </message>
    <message>
        <source>%1 は使えないポート番号です</source>
        <translation>%1 is not a usable port number</translation>
    </message>
    <message>
        <source>インタフェースはUSB(%1)です｡接続OK?</source>
        <translation>Interface: USB (%1). Connect?</translation>
    </message>
    <message>
        <source>インタフェースはTCP：%1です｡接続OK?</source>
        <translation>Interface: TCP %1. Connect?</translation>
    </message>
    <message>
        <source>出力フォルダ %1 を作成できません: %2</source>
        <translation>Cannot create output folder %1: %2</translation>
    </message>
    <message>
        <source>フォルダではありません</source>
        <translation>not a folder</translation>
    </message>
    <message>
        <source>ファイル %1 は既にあります。上書きしません (--overwrite で上書きします)</source>
        <translation>File %1 already exists; not overwriting it (--overwrite replaces it)</translation>
    </message>
    <message>
        <source>ファイル %1 は既にあります。上書きしますか?</source>
        <translation>File %1 already exists. Overwrite?</translation>
    </message>
    <message>
        <source>装置の応答を数値に変換できません: %1</source>
        <translation>Cannot convert the instrument&apos;s reply to a number: %1</translation>
    </message>
    <message>
        <source>測定中にエラーが発生しました: %1</source>
        <translation>Error during the measurement: %1</translation>
    </message>
    <message>
        <source>装置に接続できません: %1</source>
        <translation>Cannot connect to the instrument: %1</translation>
    </message>
    <message>
        <source>接続が切れました: %1</source>
        <translation>Link lost: %1</translation>
    </message>
    <message>
        <source>装置に接続できません。再接続しています (%1 回目)</source>
        <translation>Cannot connect to the instrument. Reconnecting (attempt %1)</translation>
    </message>
    <message>
        <source>接続が切れました。再接続しています (%1 回目)</source>
        <translation>Link lost. Reconnecting (attempt %1)</translation>
    </message>
    <message>
        <source>再接続をあきらめました (%1 回試みました): %2</source>
        <translation>Gave up reconnecting after %1 attempts: %2</translation>
    </message>
    <message>
        <source>再接続しました (%1 回目)</source>
        <translation>Reconnected (attempt %1)</translation>
    </message>
    <message>
        <source>再接続できません (%1 回目): %2</source>
        <translation>Reconnect attempt %1 failed: %2</translation>
    </message>
    <message>
        <source>測定ログは %1 サイクルまでです。「クリア」を押してから測定を開始して下さい。</source>
        <translation>The measurement log holds at most %1 cycles. Press Clear, then start the measurement.</translation>
    </message>
    <message>
        <source>波形バッファを確保できません (レコード長 %1)</source>
        <translation>Cannot allocate the waveform buffers (record length %1)</translation>
    </message>
    <message>
        <source>トリガ待ちです</source>
        <translation>Waiting for trigger</translation>
    </message>
    <message>
        <source>トリガ中断です</source>
        <translation>Trigger wait stopped</translation>
    </message>
    <message>
        <source>装置から応答がありません (TESR? に %1 回続けて応答なし)</source>
        <translation>No reply from the instrument (%1 TESR? queries in a row unanswered)</translation>
    </message>
    <message>
        <source>波形を転送中です</source>
        <translation>Transferring waveforms</translation>
    </message>
    <message>
        <source>DS画面を転送中です</source>
        <translation>Transferring the screen</translation>
    </message>
    <message>
        <source>DS画面を受信できません: %1</source>
        <translation>Cannot receive the screen: %1</translation>
    </message>
    <message>
        <source>空の画像</source>
        <translation>empty image</translation>
    </message>
    <message>
        <source>波形をcsvファイルに格納しています</source>
        <translation>Saving waveforms to CSV</translation>
    </message>
    <message>
        <source>csv波形の格納完了</source>
        <translation>Waveform CSV saved</translation>
    </message>
    <message>
        <source>DS画面を格納しています</source>
        <translation>Saving the screen</translation>
    </message>
    <message>
        <source>DS画面のファイル &quot;%1&quot; を保存できません: %2</source>
        <translation>Cannot save screen image file &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>装置から画面データが届きませんでした (0 バイト)</source>
        <translation>The instrument sent no screen data (0 bytes)</translation>
    </message>
    <message>
        <source>DS画面の格納完了</source>
        <translation>Screen saved</translation>
    </message>
    <message>
        <source>測定値がありません: %1 (サイクル %2)</source>
        <translation>No measured value: %1 (cycle %2)</translation>
    </message>
    <message>
        <source>次の測定の準備をして下さい!</source>
        <translation>Get ready for the next measurement!</translation>
    </message>
    <message>
        <source>終了のコマンドを送れません: %1</source>
        <translation>Cannot send the closing commands: %1</translation>
    </message>
    <message>
        <source>(%1 分間接続を試みました)</source>
        <translation>(tried to connect for %1 min)</translation>
    </message>
</context>
<context>
    <name>MqttSetup</name>
    <message>
        <source>MQTT: %1 の Mqtt/Url を使えません: %2</source>
        <translation>MQTT: cannot use Mqtt/Url in %1: %2</translation>
    </message>
    <message>
        <source>MQTT: CA の証明書 (%1) は mqtts:// のときだけ使えます</source>
        <translation>MQTT: CA certificates (%1) apply to mqtts:// only</translation>
    </message>
    <message>
        <source>MQTT: パスワードのファイル %1 を読めません</source>
        <translation>MQTT: cannot read password file %1</translation>
    </message>
</context>
<context>
    <name>MqttSink</name>
    <message>
        <source>プロトコルの版を受け付けません</source>
        <translation>protocol version refused</translation>
    </message>
    <message>
        <source>クライアント ID を受け付けません</source>
        <translation>client ID refused</translation>
    </message>
    <message>
        <source>サービスを提供できません</source>
        <translation>service unavailable</translation>
    </message>
    <message>
        <source>ユーザー名かパスワードを拒否しました</source>
        <translation>user name or password refused</translation>
    </message>
    <message>
        <source>接続を拒否しました (%1)</source>
        <translation>connection refused (%1)</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちが上限 (%1 MB) に達したため、未送信の測定 %2 の %3 件を破棄しました</source>
        <translation>MQTT: the send queue reached its limit (%1 MB): dropped %3 unsent records of measurement %2</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちファイル (%1) に書けません: %2 (%3 件はメモリで待っています)</source>
        <translation>MQTT: cannot write the send queue file (%1): %2 (%3 records waiting in memory)</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちファイルに再び書けるようになりました</source>
        <translation>MQTT: the send queue file can be written again</translation>
    </message>
    <message>
        <source>MQTT: ブローカー %1 %2 (%3ディスクで待っています)</source>
        <extracomment>%1: host:port; %2: what went wrong (the texts &quot;に接続できません: %1&quot; ...); %3: &quot;未送信 %1 件は&quot; or &quot;記録は&quot;</extracomment>
        <translation>MQTT: broker %1 %2 (%3waiting on disk)</translation>
    </message>
    <message>
        <source>未送信 %1 件は</source>
        <translation>%1 unsent records </translation>
    </message>
    <message>
        <source>記録は</source>
        <translation>records </translation>
    </message>
    <message>
        <source>に接続できません: %1</source>
        <translation>cannot be reached: %1</translation>
    </message>
    <message>
        <source>に接続できません: MQTT クライアントを作成できません</source>
        <translation>cannot be reached: the MQTT client cannot be created</translation>
    </message>
    <message>
        <source>に TLS で接続できません: %1</source>
        <translation>cannot be reached over TLS: %1</translation>
    </message>
    <message>
        <source>MQTT: ブローカー %1 に接続しました (未送信 %2 件を送ります)</source>
        <translation>MQTT: connected to broker %1 (sending %2 unsent records)</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちの記録を読めません: %1</source>
        <translation>MQTT: cannot read the queued records: %1</translation>
    </message>
    <message>
        <source>に送れません: %1</source>
        <translation>does not take records: %1</translation>
    </message>
    <message>
        <source>MQTT: 送信済みの記録を整理できません: %1</source>
        <translation>MQTT: cannot clean up the sent records: %1</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちの記録をディスクに確定できません: %1</source>
        <translation>MQTT: the queued records cannot be made durable on disk: %1</translation>
    </message>
    <message>
        <source>から %1 秒以内に応答がありません</source>
        <translation>did not answer within %1 s</translation>
    </message>
    <message>
        <source>が %1 秒以内に受信を確認しません</source>
        <translation>did not acknowledge within %1 s</translation>
    </message>
    <message>
        <source>との接続が切れました</source>
        <translation>connection lost</translation>
    </message>
    <message>
        <source>に接続できません</source>
        <translation>cannot be reached</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちの記録を使えません: %1</source>
        <translation>MQTT: cannot use the queued records: %1</translation>
    </message>
    <message>
        <source>MQTT: 送信済みの印 (%1) が読めないため、送信待ちの記録をすべて送り直します</source>
        <translation>MQTT: the sent mark (%1) cannot be read: sending all queued records again</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちの記録の壊れた %1 バイトを飛ばしました (%2)</source>
        <translation>MQTT: skipped %1 damaged bytes of the queued records (%2)</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちファイルに書けなかった %1 件は送られません</source>
        <translation>MQTT: %1 records that could not be written to the send queue file will not be sent</translation>
    </message>
    <message>
        <source>書けなかったファイル %1 件</source>
        <translation>%1 files not written</translation>
    </message>
</context>
<context>
    <name>OpenFailure</name>
    <message>
        <source>接続を拒否されました</source>
        <translation>connection refused</translation>
    </message>
    <message>
        <source>応答がありません</source>
        <translation>no answer</translation>
    </message>
    <message>
        <source>ホスト名が見つかりません</source>
        <translation>host name not found</translation>
    </message>
    <message>
        <source>ネットワーク上で装置に到達できません</source>
        <translation>the instrument cannot be reached on the network</translation>
    </message>
    <message>
        <source>ポートがありません</source>
        <translation>no such port</translation>
    </message>
    <message>
        <source>ポートは他のプログラムが使用中です</source>
        <translation>the port is in use by another program</translation>
    </message>
    <message>
        <source>ポートを開く権限がありません</source>
        <translation>no permission to open the port</translation>
    </message>
    <message>
        <source>開けません</source>
        <translation>cannot open</translation>
    </message>
    <message>
        <source>装置の電源と IP アドレスを確認してください</source>
        <translation>Check that the instrument is on and its IP address</translation>
    </message>
    <message>
        <source>このポートを使っている他のプログラムを終了してください</source>
        <translation>Close the other program that uses this port</translation>
    </message>
    <message>
        <source>このユーザにポートを使う権限があるか確認してください (Linux では dialout グループ)</source>
        <translation>Check that this user may use the port (on Linux: the dialout group)</translation>
    </message>
    <message>
        <source>装置の電源と USB ケーブル、COM ポート番号を確認してください</source>
        <translation>Check that the instrument is on, the USB cable and the COM port number</translation>
    </message>
</context>
<context>
    <name>Outputs</name>
    <message>
        <source>ウェブ表示: %1</source>
        <translation>Web view: %1</translation>
    </message>
</context>
<context>
    <name>ProgramSettings</name>
    <message>
        <source>設定ファイル %1 に書けません</source>
        <translation>Cannot write settings file %1</translation>
    </message>
</context>
<context>
    <name>QtTranslations</name>
    <message>
        <source>Qt の翻訳 %1 を読めません</source>
        <translation>Cannot load Qt&apos;s translation %1</translation>
    </message>
</context>
<context>
    <name>Questions</name>
    <message>
        <source>確認</source>
        <translation>Confirm</translation>
    </message>
</context>
<context>
    <name>QueueFiles</name>
    <message>
        <source>短いファイル</source>
        <translation>short file</translation>
    </message>
</context>
<context>
    <name>ResumeSettings</name>
    <message>
        <source>行が長すぎます (%1 文字まで)</source>
        <translation>line too long (at most %1 characters)</translation>
    </message>
    <message>
        <source>制御文字 (%1) を含みます: %2</source>
        <translation>contains a control character (%1): %2</translation>
    </message>
    <message>
        <source>Shift-JIS の文字でないバイトを含みます: %1</source>
        <translation>contains bytes that are not Shift-JIS characters: %1</translation>
    </message>
    <message>
        <source>値 %1 が数値ではありません</source>
        <translation>value %1 is not a number</translation>
    </message>
    <message>
        <source>値 %1 が範囲外です (%2 から %3)</source>
        <translation>value %1 is out of range (%2 to %3)</translation>
    </message>
    <message>
        <source>開けません: %1</source>
        <translation>cannot open: %1</translation>
    </message>
    <message>
        <source>行がありません (%1 行のはず)</source>
        <translation>line missing (%1 lines expected)</translation>
    </message>
    <message>
        <source>設定ファイル %1 の %2 行目が読めません: %3</source>
        <translation>Cannot read line %2 of settings file %1: %3</translation>
    </message>
    <message>
        <source>設定ファイル %1 が読めません: %2</source>
        <translation>Cannot read settings file %1: %2</translation>
    </message>
    <message>
        <source>。控え %1 を作れないため、このファイルは書き換えません: %2</source>
        <translation>. The file will not be rewritten because its backup %1 cannot be made: %2</translation>
    </message>
    <message>
        <source>古い控えを移せません</source>
        <translation>cannot move the old backup</translation>
    </message>
    <message>
        <source>。読めない設定は既定値です。元のファイルは %1 に残しました</source>
        <translation>. Unreadable settings take their defaults. The original file was kept as %1</translation>
    </message>
    <message>
        <source>読み取り専用です</source>
        <translation>it is read-only</translation>
    </message>
</context>
<context>
    <name>SerialStream</name>
    <message>
        <source>%1 を開く前に中断しました</source>
        <translation>stopped before opening %1</translation>
    </message>
    <message>
        <source>%1 は使えないポート番号です</source>
        <translation>%1 is not a usable port number</translation>
    </message>
</context>
<context>
    <name>SerialTransport</name>
    <message>
        <source>ポートが閉じています</source>
        <translation>the port is closed</translation>
    </message>
    <message>
        <source>送信が %1 秒以上止まっています</source>
        <translation>sending has been stuck for more than %1 s</translation>
    </message>
    <message>
        <source>ポートは閉じられています</source>
        <translation>the port has been closed</translation>
    </message>
</context>
<context>
    <name>SerialTransportWin</name>
    <message>
        <source>送信が %1 秒以上止まっています</source>
        <translation>sending has been stuck for more than %1 s</translation>
    </message>
    <message>
        <source>ポートは閉じられています</source>
        <translation>the port has been closed</translation>
    </message>
</context>
<context>
    <name>Startup</name>
    <message>
        <source>模擬装置: 127.0.0.1:%1</source>
        <translation>Simulated instrument: 127.0.0.1:%1</translation>
    </message>
    <message>
        <source>壊れたファイルの控えがありません</source>
        <translation>there is no backup of the damaged file</translation>
    </message>
    <message>
        <source>設定ファイル %1 を保存できません: %2</source>
        <translation>Cannot save settings file %1: %2</translation>
    </message>
</context>
<context>
    <name>StatsCsv</name>
    <message>
        <source>統計ファイル %1 を開けません: %2</source>
        <translation>Cannot open statistics file %1: %2</translation>
    </message>
    <message>
        <source>統計ファイル %1 に書けません: %2</source>
        <translation>Cannot write statistics file %1: %2</translation>
    </message>
</context>
<context>
    <name>StreamTransport</name>
    <message>
        <source>装置からのデータのヘッダが不正です: &quot;%1&quot;</source>
        <translation>Bad header in data from the instrument: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>装置からのデータが大きすぎます (%1 バイト、上限 %2 バイト)</source>
        <translation>Data from the instrument too large (%1 bytes, limit %2 bytes)</translation>
    </message>
    <message>
        <source>装置との接続が切れました (%1): %2</source>
        <translation>Link to the instrument lost (%1): %2</translation>
    </message>
    <message>
        <source>装置の応答が終わりません (%1: %2 バイトを読み捨てました)</source>
        <translation>The instrument&apos;s reply does not end (%1: %2 bytes discarded)</translation>
    </message>
    <message>
        <source>データの受信中に装置との接続が切れました (%1): %2</source>
        <translation>Link to the instrument lost while receiving data (%1): %2</translation>
    </message>
    <message>
        <source>装置からのデータが時間内に届きません (%1: %2 / %3 バイト、%4 秒)</source>
        <translation>Data from the instrument did not arrive in time (%1: %2 / %3 bytes, %4 s)</translation>
    </message>
    <message>
        <source>装置からのデータが途中で止まりました (%1: %2 / %3 バイト)</source>
        <translation>Data from the instrument stopped midway (%1: %2 / %3 bytes)</translation>
    </message>
</context>
<context>
    <name>TcpTransport</name>
    <message>
        <source>装置が接続を閉じました</source>
        <translation>the instrument closed the connection</translation>
    </message>
    <message>
        <source>送信が %1 秒以上止まっています</source>
        <translation>sending has been stuck for more than %1 s</translation>
    </message>
    <message>
        <source>接続は閉じられています</source>
        <translation>the connection has been closed</translation>
    </message>
    <message>
        <source>接続を中断しました</source>
        <translation>connecting was stopped</translation>
    </message>
    <message>
        <source>%1 秒以内</source>
        <translation>within %1 s</translation>
    </message>
    <message>
        <source>アドレスがありません</source>
        <translation>no address</translation>
    </message>
    <message>
        <source>%1 への接続を中断しました</source>
        <translation>connecting to %1 was stopped</translation>
    </message>
    <message>
        <source>IP アドレスが空です</source>
        <translation>the IP address is empty</translation>
    </message>
    <message>
        <source>%1 秒以内に名前からアドレスが求まりません</source>
        <translation>the name did not resolve to an address within %1 s</translation>
    </message>
    <message>
        <source>アドレス &quot;%1&quot; が不正です</source>
        <translation>invalid address &quot;%1&quot;</translation>
    </message>
</context>
<context>
    <name>TrendChart</name>
    <message>
        <source>PC 時刻</source>
        <translation>PC time</translation>
    </message>
    <message>
        <source>サイクル (通し番号)</source>
        <translation>Cycle (serial number)</translation>
    </message>
</context>
<context>
    <name>TrendLimits</name>
    <message>
        <source>設定ファイル %1 に書けません: フォルダを作れません</source>
        <translation>Cannot write settings file %1: cannot create its folder</translation>
    </message>
    <message>
        <source>設定ファイル %1 に書けません</source>
        <translation>Cannot write settings file %1</translation>
    </message>
</context>
<context>
    <name>WaveCsv</name>
    <message>
        <source>波形ファイル %1 に書き込めませんでした (%2)</source>
        <translation>Could not write waveform file %1 (%2)</translation>
    </message>
    <message>
        <source>波形ファイル %1 を作成できませんでした (%2)</source>
        <translation>Could not create waveform file %1 (%2)</translation>
    </message>
    <message>
        <source>波形ファイル %1 を保存できませんでした (%2)</source>
        <translation>Could not save waveform file %1 (%2)</translation>
    </message>
</context>
<context>
    <name>WebPage</name>
    <message>
        <source>ja</source>
        <extracomment>The page&apos;s language code (the lang attribute of its &lt;html&gt;): ja, en ...</extracomment>
        <translation>en</translation>
    </message>
    <message>
        <source>サイクル</source>
        <translation>Cycle</translation>
    </message>
    <message>
        <source>ログファイル (CSV)</source>
        <translation>Log file (CSV)</translation>
    </message>
    <message>
        <source>測定項目</source>
        <translation>Measurement</translation>
    </message>
    <message>
        <source>最新</source>
        <translation>Last</translation>
    </message>
    <message>
        <source>数</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>値なし</source>
        <translation>No value</translation>
    </message>
    <message>
        <source>最小</source>
        <translation>Min</translation>
    </message>
    <message>
        <source>最大</source>
        <translation>Max</translation>
    </message>
    <message>
        <source>平均</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>標準偏差</source>
        <translation>Std dev</translation>
    </message>
    <message>
        <source>下限</source>
        <translation>Lower</translation>
    </message>
    <message>
        <source>上限</source>
        <translation>Upper</translation>
    </message>
    <message>
        <source>範囲外</source>
        <translation>Outside</translation>
    </message>
    <message>
        <source>DS画面</source>
        <translation>Screen</translation>
    </message>
    <message>
        <source>DS画面 (まだありません)</source>
        <translation>Screen (none yet)</translation>
    </message>
    <message>
        <source>PC 時刻</source>
        <translation>PC time</translation>
    </message>
    <message>
        <source>開始</source>
        <translation>Started</translation>
    </message>
    <message>
        <source>次の測定まで %1 秒</source>
        <extracomment>%1: whole seconds</extracomment>
        <translation>Next cycle in %1 s</translation>
    </message>
    <message>
        <source>確認待ち</source>
        <translation>Waiting for confirmation</translation>
    </message>
    <message>
        <source>トリガ待ち</source>
        <translation>Waiting for trigger</translation>
    </message>
    <message>
        <source>接続が切れました。再接続しています</source>
        <translation>Link lost. Reconnecting</translation>
    </message>
    <message>
        <source>待機</source>
        <translation>Idle</translation>
    </message>
    <message>
        <source>測定中</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>次の測定待ち</source>
        <translation>Waiting for next cycle</translation>
    </message>
    <message>
        <source>中断</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>完了</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>接続断</source>
        <translation>Link lost</translation>
    </message>
    <message>
        <source>再接続中</source>
        <translation>Reconnecting</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>模擬装置を開始できません: %1</source>
        <translation>Cannot start the simulated instrument: %1</translation>
    </message>
    <message>
        <source>ウェブ表示: %1</source>
        <translation>Web view: %1</translation>
    </message>
</context>
<context>
    <name>qm::AMLogForm</name>
    <message>
        <source>自動測定のログ</source>
        <translation>Measurement log</translation>
    </message>
    <message>
        <source>トレンド</source>
        <translation>Trend</translation>
    </message>
</context>
<context>
    <name>qm::BoxQuestions</name>
    <message>
        <source>再試行</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>qm::MainForm</name>
    <message>
        <source>操作</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>自動測定ログ</source>
        <translation>Log measurements</translation>
    </message>
    <message>
        <source>マニュアル継続</source>
        <translation>Manual step</translation>
    </message>
    <message>
        <source>波形転送</source>
        <translation>Transfer waveform</translation>
    </message>
    <message>
        <source>CSV波形格納</source>
        <translation>Save waveform CSV</translation>
    </message>
    <message>
        <source>DS画面表示</source>
        <translation>Show screen</translation>
    </message>
    <message>
        <source>DS画面格納</source>
        <translation>Save screen</translation>
    </message>
    <message>
        <source>INVなし</source>
        <translation>No INV</translation>
    </message>
    <message>
        <source>クリア</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>測定開始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>測定中断</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>繰返間隔(s)</source>
        <translation>Interval (s)</translation>
    </message>
    <message>
        <source>繰返回数(≦%1)</source>
        <translation>Repeats (≤%1)</translation>
    </message>
    <message>
        <source>ファイル選択</source>
        <comment>group box</comment>
        <translation>Output files</translation>
    </message>
    <message>
        <source>ファイル選択</source>
        <comment>button</comment>
        <translation>Choose...</translation>
    </message>
    <message>
        <source>フォルダ</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>名称ヘッダ</source>
        <translation>Name prefix</translation>
    </message>
    <message>
        <source>装置</source>
        <translation>Instrument</translation>
    </message>
    <message>
        <source>IPｱﾄﾞﾚｽ</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>表示にも PNG を使う</source>
        <translation>Use PNG for the display too</translation>
    </message>
    <message>
        <source>言語 (次の起動から)</source>
        <translation>Language (from the next start)</translation>
    </message>
    <message>
        <source>言語は次の起動から変わります</source>
        <translation>The language changes at the next start</translation>
    </message>
    <message>
        <source>確認待ち</source>
        <translation>Waiting for confirmation</translation>
    </message>
    <message>
        <source>次の測定まで %1 秒</source>
        <translation>Next cycle in %1 s</translation>
    </message>
</context>
<context>
    <name>qm::TrendWindow</name>
    <message>
        <source>トレンド</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>ログを開く...</source>
        <translation>Open log...</translation>
    </message>
    <message>
        <source>PNG 保存...</source>
        <translation>Save PNG...</translation>
    </message>
    <message>
        <source>統計 CSV 保存...</source>
        <translation>Save statistics CSV...</translation>
    </message>
    <message>
        <source>横軸を PC 時刻に</source>
        <translation>PC time on the x axis</translation>
    </message>
    <message>
        <source>数 0   値なし 0
最新 -
最小 -
最大 -
平均 -
標準偏差 -
範囲外 -</source>
        <translation>Count 0   no value 0
Last -
Min -
Max -
Mean -
Std dev -
Outside -</translation>
    </message>
    <message>
        <source>下限</source>
        <translation>Lower</translation>
    </message>
    <message>
        <source>上限</source>
        <translation>Upper</translation>
    </message>
    <message>
        <source>画像ファイル %1 に書けません</source>
        <translation>Cannot write image file %1</translation>
    </message>
    <message>
        <source>範囲外 -</source>
        <translation>Outside -</translation>
    </message>
    <message>
        <source>範囲外 %1 / %2</source>
        <translation>Outside %1 / %2</translation>
    </message>
    <message>
        <source>数 %1   値なし %2
最新 %3
最小 %4
最大 %5
平均 %6
標準偏差 %7
%8</source>
        <translation>Count %1   no value %2
Last %3
Min %4
Max %5
Mean %6
Std dev %7
%8</translation>
    </message>
    <message>
        <source>ログファイルを開く</source>
        <translation>Open log file</translation>
    </message>
    <message>
        <source>ログファイル (*_AM_LOG.csv);;CSV (*.csv);;すべて (*)</source>
        <translation>Log files (*_AM_LOG.csv);;CSV (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>トレンドの画像を保存</source>
        <translation>Save trend image</translation>
    </message>
    <message>
        <source>統計を CSV で保存</source>
        <translation>Save statistics as CSV</translation>
    </message>
</context>
<context>
    <name>qm::WaveForm</name>
    <message>
        <source>DSO 画面</source>
        <translation>DSO screen</translation>
    </message>
</context>
</TS>

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja" sourcelanguage="ja">
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
                       chosen in the window&apos;s 設定 menu, else ja); --echo-status follows it
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
        <translation>装置の応答の数値が範囲を超えています</translation>
    </message>
    <message>
        <source>装置の応答を理解できません</source>
        <translation>装置の応答を理解できません</translation>
    </message>
    <message>
        <source>この装置のチャンネル数には対応していません</source>
        <translation>この装置のチャンネル数には対応していません</translation>
    </message>
    <message>
        <source>装置の時間軸の設定を読めません</source>
        <translation>装置の時間軸の設定を読めません</translation>
    </message>
    <message>
        <source>装置のレコード長を読めません</source>
        <translation>装置のレコード長を読めません</translation>
    </message>
</context>
<context>
    <name>Console</name>
    <message>
        <source>測定のスレッドが終わりません (%1)。待たずに終了します</source>
        <translation>測定のスレッドが終わりません (%1)。待たずに終了します</translation>
    </message>
</context>
<context>
    <name>DiskQueue</name>
    <message>
        <source>送信待ちファイルの番号が上限 (q-%1.dat) に達しました: フォルダ %2 を空にしてください</source>
        <translation>送信待ちファイルの番号が上限 (q-%1.dat) に達しました: フォルダ %2 を空にしてください</translation>
    </message>
    <message>
        <source>フォルダ %1 を作成できません</source>
        <translation>フォルダ %1 を作成できません</translation>
    </message>
    <message>
        <source>フォルダ %1 は別の Quillmeter が使っています</source>
        <translation>フォルダ %1 は別の Quillmeter が使っています</translation>
    </message>
    <message>
        <source>記録が大きすぎます (%1 バイト)</source>
        <translation>記録が大きすぎます (%1 バイト)</translation>
    </message>
    <message>
        <source>記録が壊れています</source>
        <translation>記録が壊れています</translation>
    </message>
    <message>
        <source>%1 を削除できません</source>
        <translation>%1 を削除できません</translation>
    </message>
</context>
<context>
    <name>FileNames</name>
    <message>
        <source>制御文字 (%1) を含みます</source>
        <translation>制御文字 (%1) を含みます</translation>
    </message>
    <message>
        <source>Windows で使えない文字 (%1) を含みます</source>
        <translation>Windows で使えない文字 (%1) を含みます</translation>
    </message>
    <message>
        <source>Windows の予約名 (%1) です</source>
        <translation>Windows の予約名 (%1) です</translation>
    </message>
    <message>
        <source>末尾が &quot;.&quot; か空白です (Windows では使えません)</source>
        <translation>末尾が &quot;.&quot; か空白です (Windows では使えません)</translation>
    </message>
    <message>
        <source>フォルダの区切り (/ \) を含みます</source>
        <translation>フォルダの区切り (/ \) を含みます</translation>
    </message>
    <message>
        <source>&quot;..&quot; を含みます</source>
        <translation>&quot;..&quot; を含みます</translation>
    </message>
    <message>
        <source>長すぎます (%1 文字まで)</source>
        <translation>長すぎます (%1 文字まで)</translation>
    </message>
    <message>
        <source>空です</source>
        <translation>空です</translation>
    </message>
    <message>
        <source>出力フォルダ &quot;%1&quot; は使えません: %2</source>
        <translation>出力フォルダ &quot;%1&quot; は使えません: %2</translation>
    </message>
    <message>
        <source>名称ヘッダ &quot;%1&quot; は使えません: %2</source>
        <translation>名称ヘッダ &quot;%1&quot; は使えません: %2</translation>
    </message>
</context>
<context>
    <name>FileSinks</name>
    <message>
        <source>ログファイル %1 を開けません: %2</source>
        <translation>ログファイル %1 を開けません: %2</translation>
    </message>
    <message>
        <source>ログファイル %1 に書けません: %2</source>
        <translation>ログファイル %1 に書けません: %2</translation>
    </message>
    <message>
        <source> (書き込み待ちが %1 行になったので測定を終了します)</source>
        <translation> (書き込み待ちが %1 行になったので測定を終了します)</translation>
    </message>
    <message>
        <source> (%1 行が書き込み待ちです)</source>
        <translation> (%1 行が書き込み待ちです)</translation>
    </message>
    <message>
        <source>ログファイル %1 に書けなかった %2 行が残っています</source>
        <translation>ログファイル %1 に書けなかった %2 行が残っています</translation>
    </message>
    <message>
        <source> サイクル %1: </source>
        <translation> サイクル %1: </translation>
    </message>
    <message>
        <source>イベントログ %1 に %2 行を書けませんでした: %3</source>
        <translation>イベントログ %1 に %2 行を書けませんでした: %3</translation>
    </message>
    <message>
        <source>DS画面のファイル &quot;%1&quot; を保存できません: %2</source>
        <translation>DS画面のファイル &quot;%1&quot; を保存できません: %2</translation>
    </message>
</context>
<context>
    <name>FileWrite</name>
    <message>
        <source>%1 / %2 バイトしか書けません</source>
        <translation>%1 / %2 バイトしか書けません</translation>
    </message>
</context>
<context>
    <name>FolderDialog</name>
    <message>
        <source>画面格納ファイルの選択</source>
        <translation>画面格納ファイルの選択</translation>
    </message>
    <message>
        <source>画面フォルダとファイルヘッダーは上図に示します</source>
        <translation>画面フォルダとファイルヘッダーは上図に示します</translation>
    </message>
</context>
<context>
    <name>Headless</name>
    <message>
        <source>マニュアル継続は --headless では使いません: 繰返間隔 (%1 s) で続けます</source>
        <translation>マニュアル継続は --headless では使いません: 繰返間隔 (%1 s) で続けます</translation>
    </message>
    <message>
        <source>模擬装置を開始できません: %1</source>
        <translation>模擬装置を開始できません: %1</translation>
    </message>
</context>
<context>
    <name>HeadlessConsole</name>
    <message>
        <source>サイクル %1/%2  経過 %3</source>
        <translation>サイクル %1/%2  経過 %3</translation>
    </message>
    <message>
        <source>  残り %1</source>
        <translation>  残り %1</translation>
    </message>
    <message>
        <source>  残り -</source>
        <translation>  残り -</translation>
    </message>
</context>
<context>
    <name>Instrument</name>
    <message>
        <source>装置との接続が切れました (%1)</source>
        <translation>装置との接続が切れました (%1)</translation>
    </message>
    <message>
        <source>装置の応答が長すぎます: %1</source>
        <translation>装置の応答が長すぎます: %1</translation>
    </message>
    <message>
        <source>装置から応答がありません: %1</source>
        <translation>装置から応答がありません: %1</translation>
    </message>
    <message>
        <source>%1: %2 サンプルを変換できませんでした</source>
        <translation>%1: %2 サンプルを変換できませんでした</translation>
    </message>
    <message>
        <source>%1: %2 サンプルを格納できませんでした</source>
        <translation>%1: %2 サンプルを格納できませんでした</translation>
    </message>
</context>
<context>
    <name>LogReader</name>
    <message>
        <source>%1 バイトを超える行</source>
        <translation>%1 バイトを超える行</translation>
    </message>
    <message>
        <source>%1 個のセル、6 個のはず</source>
        <translation>%1 個のセル、6 個のはず</translation>
    </message>
    <message>
        <source>サイクル番号 &quot;%1&quot; が整数でない</source>
        <translation>サイクル番号 &quot;%1&quot; が整数でない</translation>
    </message>
    <message>
        <source>ログファイル %1 を読めません (%2 行目の後): %3</source>
        <translation>ログファイル %1 を読めません (%2 行目の後): %3</translation>
    </message>
    <message>
        <source>%1 は空です: ログファイルではありません</source>
        <translation>%1 は空です: ログファイルではありません</translation>
    </message>
    <message>
        <source>%1 の %2 行目はログの行ではありません (%3): ログファイルではありません</source>
        <translation>%1 の %2 行目はログの行ではありません (%3): ログファイルではありません</translation>
    </message>
    <message>
        <source>%1 行目 (%2)</source>
        <translation>%1 行目 (%2)</translation>
    </message>
    <message>
        <source>ほか %1 行</source>
        <translation>ほか %1 行</translation>
    </message>
    <message>
        <source>%1 のログの行でない %2 行を読み飛ばしました: %3</source>
        <translation>%1 のログの行でない %2 行を読み飛ばしました: %3</translation>
    </message>
    <message>
        <source>ログファイル %1 を開けません: %2</source>
        <translation>ログファイル %1 を開けません: %2</translation>
    </message>
</context>
<context>
    <name>MeasurementRun</name>
    <message>
        <source>動作完了しました</source>
        <translation>動作完了しました</translation>
    </message>
    <message>
        <source>装置が正しく接続されていません！</source>
        <translation>装置が正しく接続されていません！</translation>
    </message>
    <message>
        <source>%1 の応答を待っています</source>
        <translation>%1 の応答を待っています</translation>
    </message>
    <message>
        <source>応答が長すぎます: %1</source>
        <translation>応答が長すぎます: %1</translation>
    </message>
    <message>
        <source>%1 は使えないポート番号です</source>
        <translation>%1 は使えないポート番号です</translation>
    </message>
    <message>
        <source>インタフェースはUSB(%1)です｡接続OK?</source>
        <translation>インタフェースはUSB(%1)です｡接続OK?</translation>
    </message>
    <message>
        <source>インタフェースはTCP：%1です｡接続OK?</source>
        <translation>インタフェースはTCP：%1です｡接続OK?</translation>
    </message>
    <message>
        <source>出力フォルダ %1 を作成できません: %2</source>
        <translation>出力フォルダ %1 を作成できません: %2</translation>
    </message>
    <message>
        <source>フォルダではありません</source>
        <translation>フォルダではありません</translation>
    </message>
    <message>
        <source>ファイル %1 は既にあります。上書きしません (--overwrite で上書きします)</source>
        <translation>ファイル %1 は既にあります。上書きしません (--overwrite で上書きします)</translation>
    </message>
    <message>
        <source>ファイル %1 は既にあります。上書きしますか?</source>
        <translation>ファイル %1 は既にあります。上書きしますか?</translation>
    </message>
    <message>
        <source>装置の応答を数値に変換できません: %1</source>
        <translation>装置の応答を数値に変換できません: %1</translation>
    </message>
    <message>
        <source>測定中にエラーが発生しました: %1</source>
        <translation>測定中にエラーが発生しました: %1</translation>
    </message>
    <message>
        <source>装置に接続できません: %1</source>
        <translation>装置に接続できません: %1</translation>
    </message>
    <message>
        <source>接続が切れました: %1</source>
        <translation>接続が切れました: %1</translation>
    </message>
    <message>
        <source>装置に接続できません。再接続しています (%1 回目)</source>
        <translation>装置に接続できません。再接続しています (%1 回目)</translation>
    </message>
    <message>
        <source>接続が切れました。再接続しています (%1 回目)</source>
        <translation>接続が切れました。再接続しています (%1 回目)</translation>
    </message>
    <message>
        <source>再接続をあきらめました (%1 回試みました): %2</source>
        <translation>再接続をあきらめました (%1 回試みました): %2</translation>
    </message>
    <message>
        <source>再接続しました (%1 回目)</source>
        <translation>再接続しました (%1 回目)</translation>
    </message>
    <message>
        <source>再接続できません (%1 回目): %2</source>
        <translation>再接続できません (%1 回目): %2</translation>
    </message>
    <message>
        <source>測定ログは %1 サイクルまでです。「クリア」を押してから測定を開始して下さい。</source>
        <translation>測定ログは %1 サイクルまでです。「クリア」を押してから測定を開始して下さい。</translation>
    </message>
    <message>
        <source>波形バッファを確保できません (レコード長 %1)</source>
        <translation>波形バッファを確保できません (レコード長 %1)</translation>
    </message>
    <message>
        <source>トリガ待ちです</source>
        <translation>トリガ待ちです</translation>
    </message>
    <message>
        <source>トリガ中断です</source>
        <translation>トリガ中断です</translation>
    </message>
    <message>
        <source>装置から応答がありません (TESR? に %1 回続けて応答なし)</source>
        <translation>装置から応答がありません (TESR? に %1 回続けて応答なし)</translation>
    </message>
    <message>
        <source>波形を転送中です</source>
        <translation>波形を転送中です</translation>
    </message>
    <message>
        <source>DS画面を転送中です</source>
        <translation>DS画面を転送中です</translation>
    </message>
    <message>
        <source>DS画面を受信できません: %1</source>
        <translation>DS画面を受信できません: %1</translation>
    </message>
    <message>
        <source>空の画像</source>
        <translation>空の画像</translation>
    </message>
    <message>
        <source>波形をcsvファイルに格納しています</source>
        <translation>波形をcsvファイルに格納しています</translation>
    </message>
    <message>
        <source>csv波形の格納完了</source>
        <translation>csv波形の格納完了</translation>
    </message>
    <message>
        <source>DS画面を格納しています</source>
        <translation>DS画面を格納しています</translation>
    </message>
    <message>
        <source>DS画面のファイル &quot;%1&quot; を保存できません: %2</source>
        <translation>DS画面のファイル &quot;%1&quot; を保存できません: %2</translation>
    </message>
    <message>
        <source>装置から画面データが届きませんでした (0 バイト)</source>
        <translation>装置から画面データが届きませんでした (0 バイト)</translation>
    </message>
    <message>
        <source>DS画面の格納完了</source>
        <translation>DS画面の格納完了</translation>
    </message>
    <message>
        <source>測定値がありません: %1 (サイクル %2)</source>
        <translation>測定値がありません: %1 (サイクル %2)</translation>
    </message>
    <message>
        <source>次の測定の準備をして下さい!</source>
        <translation>次の測定の準備をして下さい!</translation>
    </message>
    <message>
        <source>終了のコマンドを送れません: %1</source>
        <translation>終了のコマンドを送れません: %1</translation>
    </message>
    <message>
        <source>(%1 分間接続を試みました)</source>
        <translation>(%1 分間接続を試みました)</translation>
    </message>
</context>
<context>
    <name>MqttSetup</name>
    <message>
        <source>MQTT: %1 の Mqtt/Url を使えません: %2</source>
        <translation>MQTT: %1 の Mqtt/Url を使えません: %2</translation>
    </message>
    <message>
        <source>MQTT: CA の証明書 (%1) は mqtts:// のときだけ使えます</source>
        <translation>MQTT: CA の証明書 (%1) は mqtts:// のときだけ使えます</translation>
    </message>
    <message>
        <source>MQTT: パスワードのファイル %1 を読めません</source>
        <translation>MQTT: パスワードのファイル %1 を読めません</translation>
    </message>
</context>
<context>
    <name>MqttSink</name>
    <message>
        <source>プロトコルの版を受け付けません</source>
        <translation>プロトコルの版を受け付けません</translation>
    </message>
    <message>
        <source>クライアント ID を受け付けません</source>
        <translation>クライアント ID を受け付けません</translation>
    </message>
    <message>
        <source>サービスを提供できません</source>
        <translation>サービスを提供できません</translation>
    </message>
    <message>
        <source>ユーザー名かパスワードを拒否しました</source>
        <translation>ユーザー名かパスワードを拒否しました</translation>
    </message>
    <message>
        <source>接続を拒否しました (%1)</source>
        <translation>接続を拒否しました (%1)</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちが上限 (%1 MB) に達したため、未送信の測定 %2 の %3 件を破棄しました</source>
        <translation>MQTT: 送信待ちが上限 (%1 MB) に達したため、未送信の測定 %2 の %3 件を破棄しました</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちファイル (%1) に書けません: %2 (%3 件はメモリで待っています)</source>
        <translation>MQTT: 送信待ちファイル (%1) に書けません: %2 (%3 件はメモリで待っています)</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちファイルに再び書けるようになりました</source>
        <translation>MQTT: 送信待ちファイルに再び書けるようになりました</translation>
    </message>
    <message>
        <source>MQTT: ブローカー %1 %2 (%3ディスクで待っています)</source>
        <extracomment>%1: host:port; %2: what went wrong (the texts &quot;に接続できません: %1&quot; ...); %3: &quot;未送信 %1 件は&quot; or &quot;記録は&quot;</extracomment>
        <translation>MQTT: ブローカー %1 %2 (%3ディスクで待っています)</translation>
    </message>
    <message>
        <source>未送信 %1 件は</source>
        <translation>未送信 %1 件は</translation>
    </message>
    <message>
        <source>記録は</source>
        <translation>記録は</translation>
    </message>
    <message>
        <source>に接続できません: %1</source>
        <translation>に接続できません: %1</translation>
    </message>
    <message>
        <source>に接続できません: MQTT クライアントを作成できません</source>
        <translation>に接続できません: MQTT クライアントを作成できません</translation>
    </message>
    <message>
        <source>に TLS で接続できません: %1</source>
        <translation>に TLS で接続できません: %1</translation>
    </message>
    <message>
        <source>MQTT: ブローカー %1 に接続しました (未送信 %2 件を送ります)</source>
        <translation>MQTT: ブローカー %1 に接続しました (未送信 %2 件を送ります)</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちの記録を読めません: %1</source>
        <translation>MQTT: 送信待ちの記録を読めません: %1</translation>
    </message>
    <message>
        <source>に送れません: %1</source>
        <translation>に送れません: %1</translation>
    </message>
    <message>
        <source>MQTT: 送信済みの記録を整理できません: %1</source>
        <translation>MQTT: 送信済みの記録を整理できません: %1</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちの記録をディスクに確定できません: %1</source>
        <translation>MQTT: 送信待ちの記録をディスクに確定できません: %1</translation>
    </message>
    <message>
        <source>から %1 秒以内に応答がありません</source>
        <translation>から %1 秒以内に応答がありません</translation>
    </message>
    <message>
        <source>が %1 秒以内に受信を確認しません</source>
        <translation>が %1 秒以内に受信を確認しません</translation>
    </message>
    <message>
        <source>との接続が切れました</source>
        <translation>との接続が切れました</translation>
    </message>
    <message>
        <source>に接続できません</source>
        <translation>に接続できません</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちの記録を使えません: %1</source>
        <translation>MQTT: 送信待ちの記録を使えません: %1</translation>
    </message>
    <message>
        <source>MQTT: 送信済みの印 (%1) が読めないため、送信待ちの記録をすべて送り直します</source>
        <translation>MQTT: 送信済みの印 (%1) が読めないため、送信待ちの記録をすべて送り直します</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちの記録の壊れた %1 バイトを飛ばしました (%2)</source>
        <translation>MQTT: 送信待ちの記録の壊れた %1 バイトを飛ばしました (%2)</translation>
    </message>
    <message>
        <source>MQTT: 送信待ちファイルに書けなかった %1 件は送られません</source>
        <translation>MQTT: 送信待ちファイルに書けなかった %1 件は送られません</translation>
    </message>
    <message>
        <source>書けなかったファイル %1 件</source>
        <translation>書けなかったファイル %1 件</translation>
    </message>
</context>
<context>
    <name>OpenFailure</name>
    <message>
        <source>接続を拒否されました</source>
        <translation>接続を拒否されました</translation>
    </message>
    <message>
        <source>応答がありません</source>
        <translation>応答がありません</translation>
    </message>
    <message>
        <source>ホスト名が見つかりません</source>
        <translation>ホスト名が見つかりません</translation>
    </message>
    <message>
        <source>ネットワーク上で装置に到達できません</source>
        <translation>ネットワーク上で装置に到達できません</translation>
    </message>
    <message>
        <source>ポートがありません</source>
        <translation>ポートがありません</translation>
    </message>
    <message>
        <source>ポートは他のプログラムが使用中です</source>
        <translation>ポートは他のプログラムが使用中です</translation>
    </message>
    <message>
        <source>ポートを開く権限がありません</source>
        <translation>ポートを開く権限がありません</translation>
    </message>
    <message>
        <source>開けません</source>
        <translation>開けません</translation>
    </message>
    <message>
        <source>装置の電源と IP アドレスを確認してください</source>
        <translation>装置の電源と IP アドレスを確認してください</translation>
    </message>
    <message>
        <source>このポートを使っている他のプログラムを終了してください</source>
        <translation>このポートを使っている他のプログラムを終了してください</translation>
    </message>
    <message>
        <source>このユーザにポートを使う権限があるか確認してください (Linux では dialout グループ)</source>
        <translation>このユーザにポートを使う権限があるか確認してください (Linux では dialout グループ)</translation>
    </message>
    <message>
        <source>装置の電源と USB ケーブル、COM ポート番号を確認してください</source>
        <translation>装置の電源と USB ケーブル、COM ポート番号を確認してください</translation>
    </message>
</context>
<context>
    <name>Outputs</name>
    <message>
        <source>ウェブ表示: %1</source>
        <translation>ウェブ表示: %1</translation>
    </message>
</context>
<context>
    <name>ProgramSettings</name>
    <message>
        <source>設定ファイル %1 に書けません</source>
        <translation>設定ファイル %1 に書けません</translation>
    </message>
</context>
<context>
    <name>QtTranslations</name>
    <message>
        <source>Qt の翻訳 %1 を読めません</source>
        <translation>Qt の翻訳 %1 を読めません</translation>
    </message>
</context>
<context>
    <name>Questions</name>
    <message>
        <source>確認</source>
        <translation>確認</translation>
    </message>
</context>
<context>
    <name>QueueFiles</name>
    <message>
        <source>短いファイル</source>
        <translation>短いファイル</translation>
    </message>
</context>
<context>
    <name>ResumeSettings</name>
    <message>
        <source>行が長すぎます (%1 文字まで)</source>
        <translation>行が長すぎます (%1 文字まで)</translation>
    </message>
    <message>
        <source>制御文字 (%1) を含みます: %2</source>
        <translation>制御文字 (%1) を含みます: %2</translation>
    </message>
    <message>
        <source>Shift-JIS の文字でないバイトを含みます: %1</source>
        <translation>Shift-JIS の文字でないバイトを含みます: %1</translation>
    </message>
    <message>
        <source>値 %1 が数値ではありません</source>
        <translation>値 %1 が数値ではありません</translation>
    </message>
    <message>
        <source>値 %1 が範囲外です (%2 から %3)</source>
        <translation>値 %1 が範囲外です (%2 から %3)</translation>
    </message>
    <message>
        <source>開けません: %1</source>
        <translation>開けません: %1</translation>
    </message>
    <message>
        <source>行がありません (%1 行のはず)</source>
        <translation>行がありません (%1 行のはず)</translation>
    </message>
    <message>
        <source>設定ファイル %1 の %2 行目が読めません: %3</source>
        <translation>設定ファイル %1 の %2 行目が読めません: %3</translation>
    </message>
    <message>
        <source>設定ファイル %1 が読めません: %2</source>
        <translation>設定ファイル %1 が読めません: %2</translation>
    </message>
    <message>
        <source>。控え %1 を作れないため、このファイルは書き換えません: %2</source>
        <translation>。控え %1 を作れないため、このファイルは書き換えません: %2</translation>
    </message>
    <message>
        <source>古い控えを移せません</source>
        <translation>古い控えを移せません</translation>
    </message>
    <message>
        <source>。読めない設定は既定値です。元のファイルは %1 に残しました</source>
        <translation>。読めない設定は既定値です。元のファイルは %1 に残しました</translation>
    </message>
    <message>
        <source>読み取り専用です</source>
        <translation>読み取り専用です</translation>
    </message>
</context>
<context>
    <name>SerialStream</name>
    <message>
        <source>%1 を開く前に中断しました</source>
        <translation>%1 を開く前に中断しました</translation>
    </message>
    <message>
        <source>%1 は使えないポート番号です</source>
        <translation>%1 は使えないポート番号です</translation>
    </message>
</context>
<context>
    <name>SerialTransport</name>
    <message>
        <source>ポートが閉じています</source>
        <translation>ポートが閉じています</translation>
    </message>
    <message>
        <source>送信が %1 秒以上止まっています</source>
        <translation>送信が %1 秒以上止まっています</translation>
    </message>
    <message>
        <source>ポートは閉じられています</source>
        <translation>ポートは閉じられています</translation>
    </message>
</context>
<context>
    <name>SerialTransportWin</name>
    <message>
        <source>送信が %1 秒以上止まっています</source>
        <translation>送信が %1 秒以上止まっています</translation>
    </message>
    <message>
        <source>ポートは閉じられています</source>
        <translation>ポートは閉じられています</translation>
    </message>
</context>
<context>
    <name>Startup</name>
    <message>
        <source>模擬装置: 127.0.0.1:%1</source>
        <translation>模擬装置: 127.0.0.1:%1</translation>
    </message>
    <message>
        <source>壊れたファイルの控えがありません</source>
        <translation>壊れたファイルの控えがありません</translation>
    </message>
    <message>
        <source>設定ファイル %1 を保存できません: %2</source>
        <translation>設定ファイル %1 を保存できません: %2</translation>
    </message>
</context>
<context>
    <name>StatsCsv</name>
    <message>
        <source>統計ファイル %1 を開けません: %2</source>
        <translation>統計ファイル %1 を開けません: %2</translation>
    </message>
    <message>
        <source>統計ファイル %1 に書けません: %2</source>
        <translation>統計ファイル %1 に書けません: %2</translation>
    </message>
</context>
<context>
    <name>StreamTransport</name>
    <message>
        <source>装置からのデータのヘッダが不正です: &quot;%1&quot;</source>
        <translation>装置からのデータのヘッダが不正です: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>装置からのデータが大きすぎます (%1 バイト、上限 %2 バイト)</source>
        <translation>装置からのデータが大きすぎます (%1 バイト、上限 %2 バイト)</translation>
    </message>
    <message>
        <source>装置との接続が切れました (%1): %2</source>
        <translation>装置との接続が切れました (%1): %2</translation>
    </message>
    <message>
        <source>装置の応答が終わりません (%1: %2 バイトを読み捨てました)</source>
        <translation>装置の応答が終わりません (%1: %2 バイトを読み捨てました)</translation>
    </message>
    <message>
        <source>データの受信中に装置との接続が切れました (%1): %2</source>
        <translation>データの受信中に装置との接続が切れました (%1): %2</translation>
    </message>
    <message>
        <source>装置からのデータが時間内に届きません (%1: %2 / %3 バイト、%4 秒)</source>
        <translation>装置からのデータが時間内に届きません (%1: %2 / %3 バイト、%4 秒)</translation>
    </message>
    <message>
        <source>装置からのデータが途中で止まりました (%1: %2 / %3 バイト)</source>
        <translation>装置からのデータが途中で止まりました (%1: %2 / %3 バイト)</translation>
    </message>
</context>
<context>
    <name>TcpTransport</name>
    <message>
        <source>装置が接続を閉じました</source>
        <translation>装置が接続を閉じました</translation>
    </message>
    <message>
        <source>送信が %1 秒以上止まっています</source>
        <translation>送信が %1 秒以上止まっています</translation>
    </message>
    <message>
        <source>接続は閉じられています</source>
        <translation>接続は閉じられています</translation>
    </message>
    <message>
        <source>接続を中断しました</source>
        <translation>接続を中断しました</translation>
    </message>
    <message>
        <source>%1 秒以内</source>
        <translation>%1 秒以内</translation>
    </message>
    <message>
        <source>アドレスがありません</source>
        <translation>アドレスがありません</translation>
    </message>
    <message>
        <source>%1 への接続を中断しました</source>
        <translation>%1 への接続を中断しました</translation>
    </message>
    <message>
        <source>IP アドレスが空です</source>
        <translation>IP アドレスが空です</translation>
    </message>
    <message>
        <source>%1 秒以内に名前からアドレスが求まりません</source>
        <translation>%1 秒以内に名前からアドレスが求まりません</translation>
    </message>
    <message>
        <source>アドレス &quot;%1&quot; が不正です</source>
        <translation>アドレス &quot;%1&quot; が不正です</translation>
    </message>
</context>
<context>
    <name>TrendChart</name>
    <message>
        <source>PC 時刻</source>
        <translation>PC 時刻</translation>
    </message>
    <message>
        <source>サイクル (通し番号)</source>
        <translation>サイクル (通し番号)</translation>
    </message>
</context>
<context>
    <name>TrendLimits</name>
    <message>
        <source>設定ファイル %1 に書けません: フォルダを作れません</source>
        <translation>設定ファイル %1 に書けません: フォルダを作れません</translation>
    </message>
    <message>
        <source>設定ファイル %1 に書けません</source>
        <translation>設定ファイル %1 に書けません</translation>
    </message>
</context>
<context>
    <name>WaveCsv</name>
    <message>
        <source>波形ファイル %1 に書き込めませんでした (%2)</source>
        <translation>波形ファイル %1 に書き込めませんでした (%2)</translation>
    </message>
    <message>
        <source>波形ファイル %1 を作成できませんでした (%2)</source>
        <translation>波形ファイル %1 を作成できませんでした (%2)</translation>
    </message>
    <message>
        <source>波形ファイル %1 を保存できませんでした (%2)</source>
        <translation>波形ファイル %1 を保存できませんでした (%2)</translation>
    </message>
</context>
<context>
    <name>WebPage</name>
    <message>
        <source>ja</source>
        <extracomment>The page&apos;s language code (the lang attribute of its &lt;html&gt;): ja, en ...</extracomment>
        <translation>ja</translation>
    </message>
    <message>
        <source>サイクル</source>
        <translation>サイクル</translation>
    </message>
    <message>
        <source>ログファイル (CSV)</source>
        <translation>ログファイル (CSV)</translation>
    </message>
    <message>
        <source>測定項目</source>
        <translation>測定項目</translation>
    </message>
    <message>
        <source>最新</source>
        <translation>最新</translation>
    </message>
    <message>
        <source>数</source>
        <translation>数</translation>
    </message>
    <message>
        <source>値なし</source>
        <translation>値なし</translation>
    </message>
    <message>
        <source>最小</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>最大</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>平均</source>
        <translation>平均</translation>
    </message>
    <message>
        <source>標準偏差</source>
        <translation>標準偏差</translation>
    </message>
    <message>
        <source>下限</source>
        <translation>下限</translation>
    </message>
    <message>
        <source>上限</source>
        <translation>上限</translation>
    </message>
    <message>
        <source>範囲外</source>
        <translation>範囲外</translation>
    </message>
    <message>
        <source>DS画面</source>
        <translation>DS画面</translation>
    </message>
    <message>
        <source>DS画面 (まだありません)</source>
        <translation>DS画面 (まだありません)</translation>
    </message>
    <message>
        <source>PC 時刻</source>
        <translation>PC 時刻</translation>
    </message>
    <message>
        <source>開始</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>次の測定まで %1 秒</source>
        <extracomment>%1: whole seconds</extracomment>
        <translation>次の測定まで %1 秒</translation>
    </message>
    <message>
        <source>確認待ち</source>
        <translation>確認待ち</translation>
    </message>
    <message>
        <source>トリガ待ち</source>
        <translation>トリガ待ち</translation>
    </message>
    <message>
        <source>接続が切れました。再接続しています</source>
        <translation>接続が切れました。再接続しています</translation>
    </message>
    <message>
        <source>待機</source>
        <translation>待機</translation>
    </message>
    <message>
        <source>測定中</source>
        <translation>測定中</translation>
    </message>
    <message>
        <source>次の測定待ち</source>
        <translation>次の測定待ち</translation>
    </message>
    <message>
        <source>中断</source>
        <translation>中断</translation>
    </message>
    <message>
        <source>完了</source>
        <translation>完了</translation>
    </message>
    <message>
        <source>接続断</source>
        <translation>接続断</translation>
    </message>
    <message>
        <source>再接続中</source>
        <translation>再接続中</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>模擬装置を開始できません: %1</source>
        <translation>模擬装置を開始できません: %1</translation>
    </message>
    <message>
        <source>ウェブ表示: %1</source>
        <translation>ウェブ表示: %1</translation>
    </message>
</context>
<context>
    <name>qm::AMLogForm</name>
    <message>
        <source>自動測定のログ</source>
        <translation>自動測定のログ</translation>
    </message>
    <message>
        <source>トレンド</source>
        <translation>トレンド</translation>
    </message>
</context>
<context>
    <name>qm::BoxQuestions</name>
    <message>
        <source>再試行</source>
        <translation>再試行</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>キャンセル</translation>
    </message>
</context>
<context>
    <name>qm::MainForm</name>
    <message>
        <source>操作</source>
        <translation>操作</translation>
    </message>
    <message>
        <source>自動測定ログ</source>
        <translation>自動測定ログ</translation>
    </message>
    <message>
        <source>マニュアル継続</source>
        <translation>マニュアル継続</translation>
    </message>
    <message>
        <source>波形転送</source>
        <translation>波形転送</translation>
    </message>
    <message>
        <source>CSV波形格納</source>
        <translation>CSV波形格納</translation>
    </message>
    <message>
        <source>DS画面表示</source>
        <translation>DS画面表示</translation>
    </message>
    <message>
        <source>DS画面格納</source>
        <translation>DS画面格納</translation>
    </message>
    <message>
        <source>INVなし</source>
        <translation>INVなし</translation>
    </message>
    <message>
        <source>クリア</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>測定開始</source>
        <translation>測定開始</translation>
    </message>
    <message>
        <source>測定中断</source>
        <translation>測定中断</translation>
    </message>
    <message>
        <source>繰返間隔(s)</source>
        <translation>繰返間隔(s)</translation>
    </message>
    <message>
        <source>繰返回数(≦%1)</source>
        <translation>繰返回数(≦%1)</translation>
    </message>
    <message>
        <source>ファイル選択</source>
        <comment>group box</comment>
        <translation>ファイル選択</translation>
    </message>
    <message>
        <source>ファイル選択</source>
        <comment>button</comment>
        <translation>ファイル選択</translation>
    </message>
    <message>
        <source>フォルダ</source>
        <translation>フォルダ</translation>
    </message>
    <message>
        <source>名称ヘッダ</source>
        <translation>名称ヘッダ</translation>
    </message>
    <message>
        <source>装置</source>
        <translation>装置</translation>
    </message>
    <message>
        <source>IPｱﾄﾞﾚｽ</source>
        <translation>IPｱﾄﾞﾚｽ</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>設定</translation>
    </message>
    <message>
        <source>表示にも PNG を使う</source>
        <translation>表示にも PNG を使う</translation>
    </message>
    <message>
        <source>言語 (次の起動から)</source>
        <translation>言語 (次の起動から)</translation>
    </message>
    <message>
        <source>言語は次の起動から変わります</source>
        <translation>言語は次の起動から変わります</translation>
    </message>
    <message>
        <source>確認待ち</source>
        <translation>確認待ち</translation>
    </message>
    <message>
        <source>次の測定まで %1 秒</source>
        <translation>次の測定まで %1 秒</translation>
    </message>
</context>
<context>
    <name>qm::TrendWindow</name>
    <message>
        <source>トレンド</source>
        <translation>トレンド</translation>
    </message>
    <message>
        <source>ログを開く...</source>
        <translation>ログを開く...</translation>
    </message>
    <message>
        <source>PNG 保存...</source>
        <translation>PNG 保存...</translation>
    </message>
    <message>
        <source>統計 CSV 保存...</source>
        <translation>統計 CSV 保存...</translation>
    </message>
    <message>
        <source>横軸を PC 時刻に</source>
        <translation>横軸を PC 時刻に</translation>
    </message>
    <message>
        <source>数 0   値なし 0
最新 -
最小 -
最大 -
平均 -
標準偏差 -
範囲外 -</source>
        <translation>数 0   値なし 0
最新 -
最小 -
最大 -
平均 -
標準偏差 -
範囲外 -</translation>
    </message>
    <message>
        <source>下限</source>
        <translation>下限</translation>
    </message>
    <message>
        <source>上限</source>
        <translation>上限</translation>
    </message>
    <message>
        <source>画像ファイル %1 に書けません</source>
        <translation>画像ファイル %1 に書けません</translation>
    </message>
    <message>
        <source>範囲外 -</source>
        <translation>範囲外 -</translation>
    </message>
    <message>
        <source>範囲外 %1 / %2</source>
        <translation>範囲外 %1 / %2</translation>
    </message>
    <message>
        <source>数 %1   値なし %2
最新 %3
最小 %4
最大 %5
平均 %6
標準偏差 %7
%8</source>
        <translation>数 %1   値なし %2
最新 %3
最小 %4
最大 %5
平均 %6
標準偏差 %7
%8</translation>
    </message>
    <message>
        <source>ログファイルを開く</source>
        <translation>ログファイルを開く</translation>
    </message>
    <message>
        <source>ログファイル (*_AM_LOG.csv);;CSV (*.csv);;すべて (*)</source>
        <translation>ログファイル (*_AM_LOG.csv);;CSV (*.csv);;すべて (*)</translation>
    </message>
    <message>
        <source>トレンドの画像を保存</source>
        <translation>トレンドの画像を保存</translation>
    </message>
    <message>
        <source>統計を CSV で保存</source>
        <translation>統計を CSV で保存</translation>
    </message>
</context>
<context>
    <name>qm::WaveForm</name>
    <message>
        <source>DSO 画面</source>
        <translation>DSO 画面</translation>
    </message>
</context>
</TS>

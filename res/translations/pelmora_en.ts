<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja_JP">
<context>
    <name>CCurrentGraphWnd</name>
    <message>
        <source>正電源</source>
        <translation>Positive</translation>
    </message>
    <message>
        <source>正電源 平均</source>
        <translation>Positive average</translation>
    </message>
    <message>
        <source>負電源</source>
        <translation>Negative</translation>
    </message>
    <message>
        <source>負電源 平均</source>
        <translation>Negative average</translation>
    </message>
    <message>
        <source>電流グラフ</source>
        <translation>Current graph</translation>
    </message>
    <message>
        <source>経過時間 [s]</source>
        <translation>Elapsed time [s]</translation>
    </message>
    <message>
        <source>電流 [mA]</source>
        <translation>Current [mA]</translation>
    </message>
    <message>
        <source>%1 分</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>一時停止</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>再開</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>PNGで保存…</source>
        <translation>Save as PNG…</translation>
    </message>
    <message>
        <source>コピー</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>表示範囲</source>
        <translation>Span</translation>
    </message>
    <message>
        <source>PNGで保存</source>
        <translation>Save as PNG</translation>
    </message>
    <message>
        <source>%1 に保存できませんでした。</source>
        <translation>Could not save %1.</translation>
    </message>
</context>
<context>
    <name>COverCurrentDlg</name>
    <message>
        <source>正側</source>
        <translation>Positive rail</translation>
    </message>
    <message>
        <source>負側</source>
        <translation>Negative rail</translation>
    </message>
    <message>
        <source>過電流保護</source>
        <translation>Over-current protection</translation>
    </message>
    <message>
        <source>連続サンプル数</source>
        <translation>Consecutive samples</translation>
    </message>
    <message>
        <source>投入後の待ち時間</source>
        <translation>Delay after switching on</translation>
    </message>
    <message>
        <source>ソフトウェアによる保護です。出力が切れるまで最大で サンプル数 × ポーリング周期 + 1 回の通信がかかります。</source>
        <translation>Protection in software, not in the supply: the output goes off at worst the number of samples times the poll period plus one exchange after the current goes over the limit.</translation>
    </message>
    <message>
        <source>トリップを解除</source>
        <translation>Clear trip</translation>
    </message>
    <message>
        <source>トリップ: %1</source>
        <translation>Tripped: %1</translation>
    </message>
    <message>
        <source>トリップなし</source>
        <translation>Not tripped</translation>
    </message>
    <message>
        <source>%1 %2 &gt; %3 (%4)</source>
        <translation>%1 %2 &gt; %3 (%4)</translation>
    </message>
    <message>
        <source>正側の制限値</source>
        <translation>Positive rail limit</translation>
    </message>
    <message>
        <source>負側の制限値</source>
        <translation>Negative rail limit</translation>
    </message>
    <message>
        <source>%1には %2〜%3 の整数を入力してください。</source>
        <translation>%1: enter a whole number from %2 to %3.</translation>
    </message>
    <message>
        <source>%1には %2〜%3 の数を小数点以下 %4 桁までで入力してください。</source>
        <translation>%1: enter a number from %2 to %3 with no more than %4 digits after the point.</translation>
    </message>
</context>
<context>
    <name>CSequenceDlg</name>
    <message>
        <source>シーケンス実行</source>
        <translation>Run sequence</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>ステップ %1 / %2</source>
        <translation>Step %1 of %2</translation>
    </message>
    <message>
        <source>残り %1:%2</source>
        <translation>%1:%2 left</translation>
    </message>
</context>
<context>
    <name>CSupplyPanelDlg</name>
    <message>
        <source>再接続</source>
        <translation>Reconnect</translation>
    </message>
    <message>
        <source>未接続</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>電流グラフ</source>
        <translation>Current graph</translation>
    </message>
    <message>
        <source>記録を停止</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>記録を開始…</source>
        <translation>Start recording…</translation>
    </message>
    <message>
        <source>記録を開始</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <source>記録を停止しました。%1 に書き込めません: %2</source>
        <translation>Recording stopped. Cannot write %1: %2</translation>
    </message>
    <message>
        <source>記録中</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>トリップ: %1</source>
        <translation>Tripped: %1</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>none</translation>
    </message>
    <message>
        <source>保護 正 %1 / 負 %2</source>
        <translation>Protection pos %1 / neg %2</translation>
    </message>
    <message>
        <source>過電流保護がトリップしたため、出力をオンにできません: %1
右クリックメニューの「過電流保護…」で解除してください。</source>
        <translation>The over-current protection has tripped, so the output cannot go on: %1
Clear the trip under “Over-current protection…” in the context menu.</translation>
    </message>
    <message>
        <source>過電流保護が出力をオフにしました: %1</source>
        <translation>The over-current protection switched the output off: %1</translation>
    </message>
    <message>
        <source>過電流を検出しましたが、電源に出力オフを送れませんでした: %1
電源の出力がオンのままの可能性があります。電源を直接切ってください。</source>
        <translation>Over-current, but the command to switch the output off could not reach the supply: %1
The output may still be on. Switch the supply off at the supply itself.</translation>
    </message>
    <message>
        <source>過電流保護…</source>
        <translation>Over-current protection…</translation>
    </message>
    <message>
        <source>シーケンス実行…</source>
        <translation>Run sequence…</translation>
    </message>
    <message>
        <source>シーケンス実行</source>
        <translation>Run sequence</translation>
    </message>
    <message>
        <source>シーケンス (*.csv);;すべて (*)</source>
        <translation>Sequences (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>シーケンスを実行できません: %1</source>
        <translation>Cannot run the sequence: %1</translation>
    </message>
    <message>
        <source>過電流保護: オフ</source>
        <translation>Over-current protection: off</translation>
    </message>
</context>
<context>
    <name>IDD_ABOUTBOX</name>
    <message>
        <source>バージョン情報 Pelmora</source>
        <translation>About Pelmora</translation>
    </message>
</context>
<context>
    <name>IDD_PANEL</name>
    <message>
        <source>正電源</source>
        <translation>Positive</translation>
    </message>
    <message>
        <source>負電源</source>
        <translation>Negative</translation>
    </message>
    <message>
        <source>出力</source>
        <translation>Output</translation>
    </message>
</context>
<context>
    <name>NotFoundMessage</name>
    <message>
        <source>USB電源が見つかりません。 <byte value="xd"/>
以下を試してください。 <byte value="xd"/>
<byte value="xd"/>
(1)USB電源の接続を確認する。  <byte value="xd"/>
(2)ﾋｭｰｽﾞが切れていないか確認。 <byte value="xd"/>
(3)他のUSB機器をはずす。 <byte value="xd"/>
(4)ｱﾌﾟﾘｹｰｼｮﾝを再ｽﾀｰﾄする。 <byte value="xd"/>
(5)ｱﾌﾟﾘｹｰｼｮﾝを二重起動していないか確認。 <byte value="xd"/>
</source>
        <translation>The USB power supply cannot be found. <byte value="xd"/>
Please try the following: <byte value="xd"/>
<byte value="xd"/>
(1) Check the connection of the USB power supply.  <byte value="xd"/>
(2) Check whether the fuse has blown. <byte value="xd"/>
(3) Unplug other USB devices. <byte value="xd"/>
(4) Restart the application. <byte value="xd"/>
(5) Check that the application has not been started twice. <byte value="xd"/>
</translation>
    </message>
</context>
<context>
    <name>SearchReport</name>
    <message>
        <source>アクセスが許可されていません。</source>
        <translation>Permission denied.</translation>
    </message>
    <message>
        <source>アクセスが許可されていません。%1 を実行してから、ログインし直してください。</source>
        <translation>Permission denied. Run %1, then log in again.</translation>
    </message>
    <message>
        <source>アクセスが許可されていません。デバイスの所有者は %1、モードは %2 です。udev ルールで dialout グループに与えてください（README の「%3」を参照）。</source>
        <translation>Permission denied. The device is owned by %1, mode %2. Have a udev rule give it to the dialout group (see &quot;%3&quot; in the README).</translation>
    </message>
    <message>
        <source>排他モードのまま残されています。%1 が開いたままです。そのプログラムを終了または再起動するか、ポートを解放させてください。</source>
        <translation>The port was left in exclusive mode, and %1 keeps it open. End or restart that program, or have it release the port.</translation>
    </message>
    <message>
        <source>排他モードのまま残されています。開いたままにしているプログラムを終了または再起動するか、ポートを解放させてください。</source>
        <translation>The port was left in exclusive mode by a program that keeps it open. End or restart that program, or have it release the port.</translation>
    </message>
    <message>
        <source>他のプログラムが使用中です（PID %1 %2）。</source>
        <translation>In use by another program (PID %1 %2).</translation>
    </message>
    <message>
        <source>他のプログラムが使用中です。</source>
        <translation>In use by another program.</translation>
    </message>
    <message>
        <source>次のポートは開けませんでした。</source>
        <translation>These ports could not be opened.</translation>
    </message>
</context>
<context>
    <name>SequenceProblem</name>
    <message>
        <source>フォルダー</source>
        <translation>a directory</translation>
    </message>
    <message>
        <source>名前付きパイプ (FIFO)</source>
        <translation>a named pipe (FIFO)</translation>
    </message>
    <message>
        <source>キャラクターデバイス</source>
        <translation>a character device</translation>
    </message>
    <message>
        <source>ブロックデバイス</source>
        <translation>a block device</translation>
    </message>
    <message>
        <source>ソケット</source>
        <translation>a socket</translation>
    </message>
    <message>
        <source>特殊ファイル</source>
        <translation>a special file</translation>
    </message>
    <message>
        <source>パイプ</source>
        <translation>a pipe</translation>
    </message>
    <message>
        <source>デバイス</source>
        <translation>a device</translation>
    </message>
    <message>
        <source>%1です。通常のファイルではありません</source>
        <translation>%1, not a regular file</translation>
    </message>
    <message>
        <source>%1 バイトを超えています。シーケンスファイルは %1 バイトまでです</source>
        <translation>larger than %1 bytes, the most a sequence file may hold</translation>
    </message>
    <message>
        <source>フィールドが %1 個あります。1 ステップは %2 個 (%3) です</source>
        <translation>%1 fields where a step has %2: %3</translation>
    </message>
    <message>
        <source>値がありません。1 ステップは %1 です</source>
        <translation>missing; a step is %1</translation>
    </message>
    <message>
        <source>「%1」は秒数ではありません</source>
        <translation>&apos;%1&apos; is not a number of seconds</translation>
    </message>
    <message>
        <source>「%1」は %2 秒 (電流の読み取り 1 回分) より短くできません</source>
        <translation>&apos;%1&apos; is below %2 s, one poll of the currents</translation>
    </message>
    <message>
        <source>「%1」は %2 秒を超えています。長く保つにはステップを繰り返してください</source>
        <translation>&apos;%1&apos; is over %2 s; repeat the step instead</translation>
    </message>
    <message>
        <source>「%1」は負側の電圧にありません。使える電圧: %2</source>
        <translation>&apos;%1&apos; is no step of the negative rail; valid steps: %2</translation>
    </message>
    <message>
        <source>「%1」は正側の電圧にありません。使える電圧: %2</source>
        <translation>&apos;%1&apos; is no step of the positive rail; valid steps: %2</translation>
    </message>
    <message>
        <source>ステップが %1 を超えています。1 つのプログラムは %1 ステップまでです</source>
        <translation>more than %1 steps, the most a program may hold</translation>
    </message>
    <message>
        <source>ステップがありません</source>
        <translation>holds no steps</translation>
    </message>
    <message>
        <source>%1 を読めません: %2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>%1 の %2 行目: %3</source>
        <translation>%1:%2: %3</translation>
    </message>
    <message>
        <source>%1 の %2 行目、%3: %4</source>
        <translation>%1:%2: %3: %4</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>バージョン情報 Pelmora(&amp;A)...</source>
        <translation>&amp;About Pelmora...</translation>
    </message>
</context>
<context>
    <name>WebPage</name>
    <message>
        <source>正電源</source>
        <translation>Positive</translation>
    </message>
    <message>
        <source>負電源</source>
        <translation>Negative</translation>
    </message>
    <message>
        <source>電圧</source>
        <translation>Voltage</translation>
    </message>
    <message>
        <source>電流</source>
        <translation>Current</translation>
    </message>
    <message>
        <source>出力</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>オン</source>
        <translation>On</translation>
    </message>
    <message>
        <source>オフ</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>ポート</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>未接続</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>%1 (応答なし)</source>
        <translation>%1 (not answering)</translation>
    </message>
    <message>
        <source>サーバーとの接続が切れました。つなぎ直しています…</source>
        <translation>Lost the server; reconnecting…</translation>
    </message>
    <message>
        <source>過電流保護</source>
        <translation>Over-current protection</translation>
    </message>
    <message>
        <source>レール</source>
        <translation>Rail</translation>
    </message>
    <message>
        <source>有効</source>
        <translation>On</translation>
    </message>
    <message>
        <source>上限 [mA]</source>
        <translation>Limit [mA]</translation>
    </message>
    <message>
        <source>正側</source>
        <translation>Positive rail</translation>
    </message>
    <message>
        <source>負側</source>
        <translation>Negative rail</translation>
    </message>
    <message>
        <source>投入後の待ち時間 [s]</source>
        <translation>Delay after switching on [s]</translation>
    </message>
    <message>
        <source>適用</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>トリップ: %1</source>
        <translation>Tripped: %1</translation>
    </message>
    <message>
        <source>%1 %2 mA &gt; %3 mA (%4)</source>
        <translation>%1 %2 mA &gt; %3 mA (%4)</translation>
    </message>
    <message>
        <source>トリップなし</source>
        <translation>Not tripped</translation>
    </message>
    <message>
        <source>トリップを解除</source>
        <translation>Clear trip</translation>
    </message>
    <message>
        <source>シーケンス実行</source>
        <translation>Run sequence</translation>
    </message>
    <message>
        <source>実行中のシーケンスはありません</source>
        <translation>No sequence running</translation>
    </message>
    <message>
        <source>ステップ %1 / %2</source>
        <translation>Step %1 of %2</translation>
    </message>
    <message>
        <source>残り %1:%2</source>
        <translation>%1:%2 left</translation>
    </message>
    <message>
        <source>停止するまで繰り返します</source>
        <translation>Repeats until stopped</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>電流グラフ</source>
        <translation>Current graph</translation>
    </message>
    <message>
        <source>電流 [mA]</source>
        <translation>Current [mA]</translation>
    </message>
    <message>
        <source>%1 分</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>今の状態では変更できません</source>
        <translation>Not possible as things stand</translation>
    </message>
    <message>
        <source>その値は使えません</source>
        <translation>That value is not taken</translation>
    </message>
    <message>
        <source>電源が応答しません</source>
        <translation>The supply is not answering</translation>
    </message>
    <message>
        <source>変更できませんでした</source>
        <translation>Not changed</translation>
    </message>
    <message>
        <source>サーバーに届きませんでした</source>
        <translation>Could not reach the server</translation>
    </message>
</context>
</TS>

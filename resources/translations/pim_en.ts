<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>Help</name>
    <message>
        <source>ヘルプのページを開くことができませんでした。<byte value="xd"/><byte value="xd"/>ページの場所:<byte value="xd"/>%1</source>
        <translation>The help page could not be opened.<byte value="xd"/><byte value="xd"/>The page is at:<byte value="xd"/>%1</translation>
    </message>
</context>
<context>
    <name>StatusTexts</name>
    <message>
        <source>自動チェック停止中</source>
        <translation>Auto check off</translation>
    </message>
    <message>
        <source>自動チェック待機中</source>
        <translation>Auto check on</translation>
    </message>
    <message>
        <source>終了してもよろしいですか？</source>
        <translation>Do you want to quit Pim?</translation>
    </message>
</context>
</TS>

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
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

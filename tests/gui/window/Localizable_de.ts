<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>Localizable</name>
    <message><source>Privacy Policy</source><translation>Datenschutz</translation></message>
    <message><source>EULA</source><translation>AGB</translation></message>
    <message><source>By installing, you agree to the %@ and %@</source><translation>AGB: Mit der Installation akzeptieren Sie %@ und %@</translation></message>
</context>
</TS>

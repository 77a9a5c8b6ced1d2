<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr" sourcelanguage="en">
<context>
    <name>Localizable</name>
    <message><source>Privacy Policy</source><translation>Politique de confidentialité</translation></message>
    <message><source>EULA</source><translation>CLUF</translation></message>
    <message><source>By installing, you agree to the %@ and %@</source><translation>En installant, vous acceptez la %@</translation></message>
    <message><source>Hide %@</source><translation>Masquer %2$@</translation></message>
</context>
</TS>

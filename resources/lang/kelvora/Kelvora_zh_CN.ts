<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>regedit</name>
    <message>
        <source>File Associations</source>
        <translation>文件关联</translation>
    </message>
    <message>
        <source>Local video files</source>
        <translation>本地视频文件</translation>
    </message>
    <message>
        <source>Streaming media </source>
        <translation>流媒体 </translation>
    </message>
    <message>
        <source>.torrent</source>
        <translation>.torrent</translation>
    </message>
    <message>
        <source>Mangnet Link</source>
        <translation>磁力链接</translation>
    </message>
    <message>
        <source>Morvane</source>
        <translation>Morvane</translation>
    </message>
    <message>
        <source>Used for on demand!
Suggest binding this type!</source>
        <translation>用于点播！
建议绑定此类型！</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
</TS>

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ClientRequestTHread</name>
    <message>
        <source>We have lost the back-server(MorvaneCore.exe)..</source>
        <translation>与后台服务(MorvaneCore.exe)的连接已断开..</translation>
    </message>
    <message>
        <source>Do you wanna re-start it ?</source>
        <translation>要重新启动它吗？</translation>
    </message>
    <message>
        <source>The reply from MorvaneCore timeout, MorvaneCore may lost..</source>
        <translation>MorvaneCore 响应超时，它可能已失去响应..</translation>
    </message>
    <message>
        <source>Yes,and remember my choice</source>
        <translation>是，并记住我的选择</translation>
    </message>
</context>
</TS>

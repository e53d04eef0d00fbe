<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>player</name>
    <message>
        <source>Morvane</source>
        <translation>Morvane</translation>
    </message>
    <message>
        <source>Feedback</source>
        <translation>反馈</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>菜单</translation>
    </message>
    <message>
        <source>Minimise</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>后退</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>前进</translation>
    </message>
    <message>
        <source>Comments</source>
        <translation>评论</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>上一个</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一个</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>静音</translation>
    </message>
    <message>
        <source>Open file</source>
        <translation>打开文件</translation>
    </message>
    <message>
        <source>Snapshot</source>
        <translation>截图</translation>
    </message>
    <message>
        <source>Downloads list</source>
        <translation>下载列表</translation>
    </message>
    <message>
        <source>subtitle download</source>
        <translation>下载字幕</translation>
    </message>
    <message>
        <source>data caching..</source>
        <translation>数据缓冲中..</translation>
    </message>
    <message>
        <source>finsh..</source>
        <translation>完成..</translation>
    </message>
    <message>
        <source>function development..</source>
        <translation>功能开发中..</translation>
    </message>
    <message>
        <source>Format does not support..</source>
        <translation>不支持该格式..</translation>
    </message>
    <message>
        <source>Could not add %1: %2</source>
        <translation>无法添加 %1：%2</translation>
    </message>
    <message>
        <source>Subtitle download needs %1, which is not installed.</source>
        <translation>下载字幕需要 %1，但尚未安装。</translation>
    </message>
    <message>
        <source>no peers</source>
        <translation>没有可连接的节点</translation>
    </message>
    <message>
        <source>disk full</source>
        <translation>磁盘已满</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>没有写入权限</translation>
    </message>
</context>
</TS>

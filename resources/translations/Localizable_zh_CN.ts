<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>Localizable</name>
    <message><source>Install</source><translation>安装</translation></message>
    <message><source>Launch</source><translation>启动</translation></message>
    <message><source>Privacy Policy</source><translation>隐私政策</translation></message>
    <message><source>EULA</source><translation>最终用户许可协议</translation></message>
    <message><source>By installing, you agree to the %@ and %@</source><translation>安装即表示您同意%@和%@</translation></message>
    <message><source>Downloading</source><translation>正在下载</translation></message>
    <message><source>Installing</source><translation>正在安装</translation></message>
    <message><source>An error occurred during installation.</source><translation>安装过程中出现错误。</translation></message>
    <message><source>Please make sure you have Internet connection and try again.</source><translation>请确认网络连接正常后重试。</translation></message>
    <message><source>Try Again</source><translation>重试</translation></message>
    <message><source>Direct Download</source><translation>直接下载</translation></message>
    <message><source>Quit</source><translation>退出</translation></message>
    <message><source>Unable to install it to the application directory, please change the installation path.</source><translation>无法安装到应用程序目录，请更改安装路径。</translation></message>
    <message><source>The downloaded package is not the one its maker signed. Please try again.</source><translation>下载的程序包与发布者的签名不符，请重试。</translation></message>
    <message><source>There is not enough free space in %@: %@ are needed, %@ are free.</source><translation>%@ 的可用空间不足：需要 %@，可用 %@。</translation></message>
    <message><source>About %@</source><translation>关于 %@</translation></message>
    <message><source>Hide %@</source><translation>隐藏 %@</translation></message>
    <message><source>Quit %@</source><translation>退出 %@</translation></message>
    <message><source>Installation still in progress</source><translation>安装仍在进行中</translation></message>
    <message><source>Are you sure you want to quit before the process is completed?</source><translation>安装尚未完成，确定要退出吗？</translation></message>
    <message><source>Continue</source><translation>继续</translation></message>
    <message><source>Version %@</source><translation>版本 %@</translation></message>
    <message><source>0.0%</source><translation>0.0%</translation></message>
    <message><source>About</source><translation>关于</translation></message>
    <message><source>Hide</source><translation>隐藏</translation></message>
    <message><source>Help</source><translation>帮助</translation></message>
    <message><source>%@ Website</source><translation>%@ 官网</translation></message>
    <message><source>%@ Help</source><translation>%@ 帮助</translation></message>
    <message><source>License Agreement</source><translation>许可协议</translation></message>
    <message><source>Notice</source><translation>提示</translation></message>
    <message><source>OK</source><translation>好</translation></message>
    <message><source>Cancel</source><translation>取消</translation></message>
    <message><source>Remove</source><translation>移除</translation></message>
    <message><source>Remove %@…</source><translation>移除 %@…</translation></message>
    <message><source>Remove %@?</source><translation>移除 %@？</translation></message>
    <message><source>%@ will be removed, with its menu entry and icons.</source><translation>将移除 %@ 及其菜单项和图标。</translation></message>
    <message><source>Log file: %@</source><translation>日志文件：%@</translation></message>
    <message><source>The server refused the download (HTTP status %@). Please try again later.</source><translation>服务器拒绝了下载请求（HTTP 状态码 %@），请稍后重试。</translation></message>
    <message><source>The downloaded file is damaged or is not an installation package. Please try again.</source><translation>下载的文件已损坏或不是安装包，请重试。</translation></message>
    <message><source>There is not enough free disk space. Please free some space and try again.</source><translation>磁盘空间不足，请释放一些空间后重试。</translation></message>
    <message><source>The folder “%@” cannot be written. Please check its permissions and try again.</source><translation>无法写入文件夹“%@”，请检查其权限后重试。</translation></message>
    <message><source>%@ of %@</source><translation>%@ / %@</translation></message>
    <message><source>%@/s</source><translation>%@/秒</translation></message>
    <message><source>%@ s left</source><translation>剩余 %@ 秒</translation></message>
    <message><source>%@ min left</source><translation>剩余 %@ 分钟</translation></message>
    <message><source>Retrying…</source><translation>正在重试…</translation></message>
    <message><source>Unpacking…</source><translation>正在解压…</translation></message>
    <message><source>Installing…</source><translation>正在安装…</translation></message>
    <message><source>Warning</source><translation>警告</translation></message>
    <message><source>Information</source><translation>信息</translation></message>
    <message><source>%@ logo</source><translation>%@ 标志</translation></message>
    <message><source>%@ icon</source><translation>%@ 图标</translation></message>
</context>
</TS>

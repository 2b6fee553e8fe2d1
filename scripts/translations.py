#!/usr/bin/env python3
"""English texts of the interface, filled into resources/Language/lib_en.ts.

After adding texts to the code or the forms, run
    /usr/lib/qt5/bin/lupdate -no-obsolete -locations none base device recording meterbench outputs cli charts report ui app python \
        -ts resources/Language/lib_en.ts
then add the new texts to ENGLISH below and run this script. It reports every
source text that still has no English. A text that needs another English in
one context goes into ENGLISH_IN_CONTEXT under (context, text).
"""
import html
import pathlib
import re
import sys

ENGLISH = {
    # Device list entry
    "型号": "Model",
    "模拟器": "Simulator",
    "序列号": "SN",
    "空闲": "Idle",
    "错误": "Error",
    "连接": "Connect",
    # Window and title bar
    "VORANE_USB_TESTER": "VORANE_USB_TESTER",
    "<html><head/><body><p>电能表 V1.0.9</p></body></html>": "<html><head/><body><p>VORANE Ombrel V1.0.9</p></body></html>",
    "下拉菜单": "Drop-down menu",
    "最小化": "Minimize",
    "最大化": "Maximize",
    "关闭": "Close",
    "设备列表": "Devices",
    # Home page and navigation
    "主页菜单": "Home menu",
    "主页": "Home",
    "电能表": "Electric Energy Meter",
    "返回主页": "Return",
    "固件升级": "Firmware update",
    "仪表参数设置": "Setting",
    "联机测试": "Online testing",
    "快充协议高压触发": "Protocol trigger",
    "快充协议自动检测": "Protocol detector",
    "电池容量电量检测": "Capacity detector",
    "协议触发": "Protocol trigger",
    "电池容量": "Battery capacity",
    "此功能正在加点开发中，敬请期待。": "This function is under development.",
    # Upgrade page
    "设备名称:": "Device name:",
    "固件文件:": "Firmware file:",
    "打开文件": "Open file",
    "固件信息:": "Firmware:",
    "开始下载": "Start download",
    "设备已连接": "Device connected",
    "设备已断开": "Device disconnected",
    "无法打开仪表 %1：没有读写权限。请安装本程序的 udev 规则，然后拔下并重新插入仪表。":
        "Cannot open the meter %1: no permission to read and write it. Install this program's udev rule, then unplug and plug in the meter.",
    # Data and language menus, exports
    "导出数据(.csv)": "Export data (.csv)",
    "导出图片(.png)": "Export image (.png)",
    "曲线设置": "Curve Settings",
    "累计图显": "All Display",
    "滚动图显": "Scroll display",
    "开发中...": "Developing...",
    "简体中文": "简体中文",
    "提示信息": "Prompt information",
    "数据太少了吧，请记录至少二十条数据。": "There are too few data. Please record at least 20 data.",
    "Excel file": "Excel file",
    "Files (*.csv)": "Files (*.csv)",
    "无法写入文件：": "Cannot write the file: ",
    "Save File": "Save File",
    "image(*.png)": "image(*.png)",
    "无法保存图片：": "Cannot save the picture: ",
    "%1 已存在。要替换它吗？": "%1 already exists. Do you want to replace it?",
    "不是普通文件（例如命名管道或设备）": "not a regular file (a named pipe or a device, for instance)",
    "命名管道没有读取方": "a named pipe that no program reads",
    "无法打开固件：": "Cannot open the firmware: ",
    "设置文件 %1 不是普通文件（例如命名管道或设备）：已使用默认设置启动，更改不会保存。":
        "The settings file %1 is not a regular file (a named pipe or a device, for instance): "
        "started with the default settings, and changes are not saved.",
    "设置文件 %1 是一个文件夹：已使用默认设置启动，更改不会保存。":
        "The settings file %1 is a folder: started with the default settings, and changes are not saved.",
    "设置文件 %1 不是设置文件（其中是二进制数据）：已使用默认设置启动，该文件保持原样，更改不会保存。":
        "The settings file %1 is not a settings file (it holds binary data): started with the default "
        "settings, the file is left as it is, and changes are not saved.",
    "设置文件 %1 异常大（%2 MB）：更改在后台保存。":
        "The settings file %1 is unusually large (%2 MB): changes are saved in the background.",
    "打开文件...": "Open File...",
    "打开固件文件": "Open firmware file",
    "BIN文件(*.bin)": "BIN file(*.bin)",
    "error": "error",
    "打开文件失败": "Fail to open file",
    "固件过大,请选择正确的固件": "The firmware is too large, please select the correct firmware",
    "空的固件": "Empty firmware",
    "固件是空的": "Firmware is empty",
    "握手成功...": "Handshake succeeded...",
    "开始传输固件...": "Start transferring firmware...",
    "传输完成...": "Transfer complete...",
    "传输耗时": "Transmission time",
    "请等待设备烧写完成...": "Please wait for the device to finish burning...",
    "下载烧写过程耗时": "The download burning process takes time",
    "烧写完成...": "Burning completed...",
    "本次下载结束": "End of this download",
    "更新失败": "Update failed",
    # Run journal (tip line)
    "数据文件夹 %1 无法写入：测量记录不会保存到磁盘。":
        "The data folder %1 cannot be written: the runs are not kept on disk.",
    "磁盘已满：测量记录暂存在内存中，有空间后补写。":
        "The disk is full: the records are kept in memory and written once there is room.",
    "运行记录数据库正被另一个程序占用：测量记录暂存在内存中，稍后补写。":
        "The run database is held by another program: the records are kept in memory and written later.",
    "运行记录数据库已损坏或不是数据库，已移至 %1，并新建了数据库。":
        "The run database was damaged or not a database: it was moved to %1 and a new one was started.",
    "运行记录数据库来自较新版本的程序，已移至 %1，并新建了数据库。":
        "The run database comes from a newer version of this program: it was moved to %1 and a new one was started.",
    "运行记录数据库 %1 已损坏，且无法移走。": "The run database %1 is damaged and cannot be moved aside.",
    "无法写入运行记录数据库：%1": "Cannot write the run database: %1",
    "为使运行记录数据库不超过 %1 MB，已删除最早的 %2 次运行。":
        "The %2 oldest runs were removed to keep the run database within %1 MB.",
    "必须保留的运行（正在记录的运行和最近结束的运行）已超过运行记录数据库的上限 %1 MB，已全部保留；可在历史记录中删除不需要的运行，或在设置文件中调高 %2。":
        "The runs that must be kept (those recording and the newest finished one) are over the run database's cap of %1 MB: all of them are kept. Delete runs you no longer need in the run history, or raise %2 in the settings file.",
    "设置文件中 %1 的值“%2”无效（应为 1 到 %3 之间的整数，单位 MB）：运行记录数据库的上限使用默认的 %4 MB。":
        "The value \u201c%2\u201d of %1 in the settings file is not valid (a whole number of MB from 1 to %3): the run database's cap is the default %4 MB.",
    "运行记录数据库 %1 是一个文件夹，不是文件：测量记录不会保存到磁盘。":
        "The run database %1 is a folder, not a file: the runs are not kept on disk.",
    "运行记录数据库 %1 是一个命名管道，不是普通文件：测量记录不会保存到磁盘。":
        "The run database %1 is a named pipe, not a regular file: the runs are not kept on disk.",
    "运行记录数据库 %1 是一个设备或套接字，不是普通文件：测量记录不会保存到磁盘。":
        "The run database %1 is a device or a socket, not a regular file: the runs are not kept on disk.",
    "运行记录数据库 %1 已损坏或不是数据库。": "The run database %1 is damaged or not a database.",
    "运行记录数据库 %1 是一个文件夹，不是数据库文件": "the run database %1 is a folder, not a database file",
    "运行记录数据库 %1 是一个命名管道，不是数据库文件": "the run database %1 is a named pipe, not a database file",
    "运行记录数据库 %1 是一个设备，不是数据库文件": "the run database %1 is a device, not a database file",
    "运行记录数据库 %1 已损坏或不是数据库：读取时不作改动（记录时会将它移开并新建数据库）":
        "the run database %1 is damaged or not a database; it is left as it is (recording moves it aside and starts a new one)",
    "运行记录数据库 %1 正被另一个程序占用：请稍后再试": "the run database %1 is held by another program: try again",
    "运行记录数据库 %1 来自较新版本的程序。": "The run database %1 comes from a newer version of this program.",
    "无法读取运行记录数据库 %1：%2": "Cannot read the run database %1: %2",
    # Live readings page
    "设置": "Setting",
    "升级": "Upgrade",
    "菜单": "Menu",
    "运行/停止": "Run/Stop",
    "运行": "Run",
    "停止": "Stop",
    "Simple Real-Time Chart": "Simple Real-Time Chart",
    "单击修改标题": "Click to modify the Title",
    "DP/DM": "DP/DM",
    "DP/DM曲线": "DP/DM Curve",
    "CC1/CC2": "CC1/CC2",
    "CC1/CC2曲线": "CC1/CC2 Curve",
    "CPU TEMP": "CPU TEMP",
    "CPU温度曲线": "CPU temperature curve",
    "自定义曲线范围": "Custom Scope",
    "测量小数值时让曲线更明显": "Make the curve more pronounced when measuring small values",
    "标题变更对话框": "Title Change Dialog",
    "请输入标题:": "Please enter a title:",
    # Curve style table
    "曲线颜色": "Curve color",
    "曲线宽度": "Curve width",
    "VBUS": "VBUS",
    "IBUS": "IBUS",
    "POWER": "POWER",
    "PD": "PD",
    "PM": "PM",
    "CC1": "CC1",
    "CC2": "CC2",
    "CPU_Temp": "CPU_Temp",
    "背景颜色风格：": "ChartTheme:",
    "确定": "OK",
    # Custom axis window
    "Form": "Form",
    "数据轴": "Data axis",
    "最小值": "Minimum value",
    "最大值": "Maximum value",
    "当前状态": "State",
    "启用": "Enable",
    "(输入悬空时有感应电压是正常现象)": "(It is normal to have induced voltage when input is suspended)",
    # Settings pages
    "系统设置": "System settings",
    "项目": "Project",
    "01 语言字体设置": "01 Language",
    "中文": "中文",
    "English": "English",
    "02 工作屏幕亮度": "02 Working Light",
    "03 待机屏幕亮度": "03 Standby Light",
    "04 进入待机时间": "04 Standby Time",
    "05 屏幕待机风格": "05 Standby Style",
    "风格1": "Style 1",
    "风格2": "Style 2",
    "原始": "Original",
    "06 空载电流清零": "06 Zero No-load I",
    "电流清零": "Zero current",
    "07 最小测量电流": "07 Minimum Current",
    "0A": "0A",
    "0.01A": "0.01A",
    "0.02A": "0.02A",
    "08 参考电压校准": "08 Voltage Adjust",
    "当前电压：": "Voltage:",
    "校准系数：": "Calibration factor:",
    "09 参考电流校准": "09 Current Adjust",
    "当前电流：": "Current:",
    "10 内部温度校准": "10 CPU_T Adjust",
    "当前温度：": "Temperature:",
    "11 恢复出厂设置": "11 Default Setting",
    "恢复出厂设置": "Factory reset",
    "12 累计数据清零": "12.All Data Zero",
    "数据清零": "Zero data",
    "13 重力旋转开关": "13 Gravity rotary switch",
    "开": "On",
    "关": "Off",
    "03 空载电流清零": "03 Zero No-load I",
    "04 累计数据清零": "04.All Data Zero",
    "05 震动开关": "05 Motor Switch",
    # Run history
    "历史记录": "Run history",
    "上次有 %1 次运行未正常结束，已作为中断的运行保存在历史记录中。":
        "%1 run(s) did not end properly last time; they are kept in the run history as interrupted.",
    "无法读取这次运行：%1": "Cannot read this run: %1",
    "记录中": "recording",
    "已停止": "stopped",
    "仪表已拔出": "meter unplugged",
    "中断": "interrupted",
    "这次运行正由另一个程序记录，不能删除；它结束后才可以删除。":
        "This run is being recorded by another program and cannot be deleted until it has ended.",
    "无法删除这次运行。": "This run cannot be deleted.",
    "重命名": "Rename",
    "这次运行的名称:": "Name of this run:",
    "删除": "Delete",
    "删除 %1 开始的这次运行及其全部记录？此操作无法撤销。":
        "Delete the run started %1 with all its records? This cannot be undone.",
    "开始": "Start",
    "时长": "Duration",
    "仪表": "Meter",
    "记录数": "Records",
    "电量(Ah)": "Charge (Ah)",
    "能量(Wh)": "Energy (Wh)",
    "峰值功率(W)": "Peak power (W)",
    "结束原因": "End reason",
    "名称": "Name",
    "在图表中打开": "Open in chart",
    "返回实时": "Back to live",
    "图表显示的是一次保存的运行（只读）。": "The chart shows a stored run (read-only).",
    "图表显示的是实时运行。": "The chart shows the live run.",
    # Measurement cursors and their statistics
    "测量": "Measure",
    "测量光标：在曲线上按住左键拖动，设置光标 A 和 B，显示两者之间的统计；Esc 清除":
        "Measurement cursors: press and drag on the curves to set cursors A and B and see the statistics between them; Esc clears them",
    "区间统计 A–B": "Interval A–B",
    "起点": "Start",
    "终点": "End",
    "时长": "Duration",
    "最小": "Min",
    "最大": "Max",
    "平均": "Mean",
    "电量": "Charge",
    "能量": "Energy",
    "仪表 CAP 变化": "Meter CAP change",
    "仪表 ELE 变化": "Meter ELE change",
    "复制": "Copy",
    "把这些数值以制表符分隔的文本复制到剪贴板": "Copy these figures to the clipboard as tab-separated text",
    # Runs that end by themselves (page six)
    "满足任一选中的条件时，记录自动停止：": "The run stops by itself when any chosen condition is met:",
    "运行时长达到": "After a duration of",
    "充电完成：电流低于": "Charge complete: current below",
    "放电截止：电压低于": "Discharge cut-off: voltage below",
    "电量达到": "When the charge reaches",
    "能量达到": "When the energy reaches",
    " 秒": " s",
    "持续": "for",
    "开始记录": "Start run",
    "停止记录": "Stop run",
    "清空图表，按这些条件开始新的记录": "Clear the chart and start a new run with these conditions",
    "已运行 %1    电量 %2 Ah    能量 %3 Wh": "Elapsed %1    Charge %2 Ah    Energy %3 Wh",
    "条件：%1": "condition: %1",
    "运行的结束无法写入运行记录数据库：它将显示为中断的运行":
        "the end of the run could not be written to the run journal: it will show as interrupted",
    "MQTT 主题前缀“%1”无效：不能含有 + 或 #，也不能以 / 结尾":
        "The MQTT topic prefix \u201c%1\u201d is not valid: it may not hold + or # nor end in /.",
    "CA 文件只用于 TLS 连接的代理：mqtts://%1": "A CA file is for a TLS broker: mqtts://%1.",
    "CA 文件 %1 中没有证书（PEM 格式，-----BEGIN CERTIFICATE-----）":
        "The CA file %1 holds no certificate (PEM, -----BEGIN CERTIFICATE-----).",
    "MQTT 代理的密码需要用户名": "A password for the MQTT broker needs a user name.",
    "运行时长达到 %1 秒": "duration %1 s",
    "电流低于 %1 A 持续 %2 秒": "current below %1 A for %2 s",
    "电压低于 %1 V": "voltage below %1 V",
    "电量达到 %1 Ah": "charge %1 Ah",
    "能量达到 %1 Wh": "energy %1 Wh",
    "已满足停止条件：%1。记录：时长 %2，电量 %3 Ah，能量 %4 Wh，%5 条记录":
        "Stop condition met: %1. Run: %2, %3 Ah, %4 Wh, %5 records",
    "记录已按条件停止：%1": "The run stopped by its condition: %1",
    # The command line
    "无法打开电表 %1：没有读写权限。请安装 Ombrel 的 udev 规则（安装包会安装它；或将 packaging/70-ombrel-meter.rules 复制到 /etc/udev/rules.d/），运行“sudo udevadm control --reload”，然后拔下电表再重新插上。":
        "cannot open the meter at %1: no read and write permission. Install Ombrel's udev rule (the package installs it; or copy packaging/70-ombrel-meter.rules to /etc/udev/rules.d/), run 'sudo udevadm control --reload', then unplug the meter and plug it in again.",
    "无法写入标准输出：%1": "cannot write standard output: %1",
    "标准输出": "standard output",
    "没有连接电表": "no meter is attached",
    "没有连接序列号为 %1 的电表": "no meter with serial number %1 is attached",
    "无法打开电表 %1": "cannot open the meter at %1",
    "多余的参数“%1”": "unexpected argument '%1'",
    "无法写入电表": "cannot write to the meter",
    "电表没有报告其设置": "the meter did not report its settings",
    "没有要更改的设置（ombrel set --help 列出全部设置）": "nothing to set (ombrel set --help lists the settings)",
    "没有给出固件文件": "no firmware file given",
    "无法读取固件 %1": "cannot read the image %1",
    "固件 %1 不是普通文件（例如命名管道或设备）": "the image %1 is not a regular file (a named pipe or a device, for instance)",
    "固件 %1 太大（超过 %2 字节）": "the image %1 is too big (more than %2 bytes)",
    "固件 %1 是空文件": "the image %1 is empty",
    "写入电表失败，升级没有完成": "a write to the meter failed; the upgrade did not finish",
    "电表已拔出，升级没有完成": "the meter was pulled out; the upgrade did not finish",
    "电表的引导程序报告失败": "the meter's loader reported a failure",
    "电表的引导程序停止应答（超时）": "the meter's loader stopped answering (time-out)",
    "升级没有完成": "the upgrade did not finish",
    "--%1 的文件名为空": "an empty file name for --%1",
    "只有一个导出能写到标准输出（-）": "only one of --csv, --jsonl and --sr can go to standard output (-)",
    "无法写入 %1：%2": "cannot write %1: %2",
    "无法设置信号处理": "cannot set up signal handling",
    "电表已拔出：运行结束": "the meter was pulled out: the run ends",
    "电表已重新插上：运行继续": "the meter is back: the run goes on",
    "出错之前的记录都已在文件中": "the records up to the failure are in the files",
    "运行已结束（%1），历时 %2：%3，%4 Ah，%5 Wh": "the run ended (%1) after %2: %3, %4 Ah, %5 Wh",
    "输入 %1 Wh，输出 %2 Wh，能量效率 %3 %，损耗平均 %4 W（%5 至 %6 W），%7 对记录，%8 处空缺":
        "in %1 Wh, out %2 Wh, energy efficiency %3 %, loss mean %4 W (%5 to %6 W), %7 pairs of records, %8 gaps",
    "工作台需要 2 到 4 个电表，而不是 %1 个": "a bench takes 2 to 4 meters, not %1",
    "工作台": "Bench",
    "电表": "Meter",
    "角色": "Role",
    "刷新": "Refresh",
    "效率、损耗、压降：空缺（有一个电表没有记录）": "efficiency, loss, drop: a gap (a meter has no record)",
    "效率 %1 %   损耗 %2 W   压降 %3 V   电阻 %4": "efficiency %1 %   loss %2 W   drop %3 V   resistance %4",
    "工作台记录中：%1 个电表": "Recording the bench: %1 meters",
    "工作台 b%1 已保存在历史记录中": "Bench b%1 is kept in the history",
    "工作台已结束": "The bench has ended",
    "电表 %1 没有角色": "meter %1 has no role",
    "角色“%1”用了两次": "the role '%1' is given twice",
    "序列号 %1 用了两次": "the serial number %1 is given twice",
    "有 %1 个电表的序列号都是 %2：无法分辨它们": "%1 meters have the serial number %2: they cannot be told apart",
    "电表 %1 正由另一个程序记录（运行 %2）": "meter %1 is being recorded by another program (run %2)",
    "1 条记录": "1 record",
    "%1 条记录": "%1 records",
    "电表已拔出：等待它（序列号 %1）重新插上": "the meter was pulled out: waiting for it (serial number %1) to come back",
    "电表（序列号 %1）已拔出": "the meter (serial number %1) was pulled out",
    "无效的运行“%1”：应为运行的编号（见 %2 runs）或 last": "bad run '%1': a run's id (see %2 runs) or last",
    "运行记录数据库 %1 中没有运行": "no run in the run journal %1",
    "运行记录数据库 %2 中没有运行 %1": "no run %1 in the run journal %2",
    "运行记录数据库 %2 中没有工作台 %1": "no bench %1 in the run journal %2",
    # A bench's report
    "无法读取工作台 %1：%2": "cannot read bench %1: %2",
    "%1 %2 · 工作台 %3 · 报告生成于 %4": "%1 %2 · bench b%3 · report of %4",
    "工作台 %1": "Bench b%1",
    "%1 · 运行 %2": "%1 · run %2",
    "输入与输出": "In and out",
    "输入能量(Wh)": "Energy in (Wh)",
    "输出能量(Wh)": "Energy out (Wh)",
    "能量效率": "Energy efficiency",
    "平均损耗": "Mean loss",
    "最小损耗": "Least loss",
    "最大损耗": "Greatest loss",
    "配对记录": "Paired records",
    "空缺": "Gaps",
    "效率": "Efficiency",
    "损耗": "Loss",
    "压降": "Drop",
    "电阻": "Resistance",
    "整个工作台": "Whole bench",
    "工作台：%1": "Bench: %1",
    "哪一次运行？请给出其编号或 last": "which run? give its id or last",
    "没有导出目标：请给出 --csv、--jsonl 或 --sr 的文件": "nothing to export to: give a file to --csv, --jsonl or --sr",
    " 或 ": " or ",
    "%2 的时间“%1”无效：应为本地日期时间（如 2026-12-08T13:05:09）或从运行开始算起的秒数": "bad time '%1' for %2: a local date-time such as 2026-12-08T13:05:09 or seconds from the run's start",
    "%2 的时间 %1 在运行 %4 中出现了 %3 次（运行期间时钟被调回过）：请改用从运行开始算起的秒数（%5）": "the time %1 for %2 occurs %3 times in run %4 (the clock was set back during it): give seconds from the run's start instead (%5)",
    "运行 %1 已结束：不能再标记": "run %1 has ended: it can no longer be marked",
    # Marks, what a run is about, the export of an interval
    "标记": "Mark",
    "标记运行的此刻并命名（Ctrl+M）；查看已保存的运行时，点击曲线上要标记的时刻":
        "Mark this moment of the run and name it (Ctrl+M); on a stored run, click the curves where the mark goes",
    "导出区间": "Export interval",
    "把两条光标之间的记录导出为 CSV 或 JSON lines 文件": "Export the records between the two cursors to a CSV or JSON lines file",
    "没有正在记录的运行可以标记。": "There is no run being recorded to mark.",
    "标记 %1": "Mark %1",
    "标记名称：": "Name of the mark:",
    "无法保存标记：": "Cannot save the mark: ",
    "CSV 文件 (*.csv)": "CSV files (*.csv)",
    "JSON lines 文件 (*.jsonl)": "JSON lines files (*.jsonl)",
    "筛选：": "Filter:",
    "按名称、备注和字段筛选": "Filter by name, notes and fields",
    "被测设备：": "Device under test:",
    "充电器/电源：": "Charger/source:",
    "线缆：": "Cable:",
    "环境温度 (°C)：": "Ambient (°C):",
    "备注：": "Notes:",
    "保存": "Save",
    "标记列表": "Marks",
    "时间": "Time",
    "重命名标记": "Rename mark",
    "删除标记": "Delete mark",
    "环境温度应为摄氏度数，如 25 或 -5.5。": "The ambient temperature is a number of degrees Celsius, such as 25 or -5.5.",
    "无法保存：": "Cannot save: ",
    "删除标记“%1”？": "Delete the mark '%1'?",
    "无法删除：": "Cannot delete: ",
    "请给出标记的名称": "give the mark's name",
    "没有正在记录的运行：请用 --run 指定运行（见 %1 runs）": "no run is being recorded: give one with --run (see %1 runs)",
    "运行 %1 还没有记录": "run %1 has no record yet",
    "运行 %1 已结束：请用 --at 给出标记的时间": "run %1 has ended: give the mark's time with --at",
    # Comparing runs and their reports
    "对比": "Compare",
    "报告": "Report",
    "选择 2 到 8 次运行（按住 Ctrl 或 Shift 单击）进行对比": "Select 2 to 8 runs (click with Ctrl or Shift held) to compare them",
    "开始后 %1": "%1 since start",
    "无法写入 %1": "Cannot write %1",
    "通道:": "Channel:",
    "对齐:": "Align at:",
    "A – B": "A – B",
    "时长(s)": "Duration (s)",
    "VBUS 平均/峰值(V)": "VBUS mean/peak (V)",
    "IBUS 平均/峰值(A)": "IBUS mean/peak (A)",
    "POWER 平均/峰值(W)": "POWER mean/peak (W)",
    "请选择 %1 到 %2 次运行进行对比。": "Select %1 to %2 runs to compare.",
    "无法读取运行 %1：%2": "Cannot read run %1: %2",
    "峰值电压(V)": "Peak voltage (V)",
    "平均电压(V)": "Mean voltage (V)",
    "峰值电流(A)": "Peak current (A)",
    "平均电流(A)": "Mean current (A)",
    "平均功率(W)": "Mean power (W)",
    "备注": "Notes",
    "时间": "Time",
    "无法生成 PDF": "Cannot make the PDF",
    "运行 %1": "Run %1",
    "结束": "End",
    "汇总": "Summary",
    "数值": "Value",
    "仪表 CAP 变化(Ah)": "Meter CAP change (Ah)",
    "仪表 ELE 变化(Wh)": "Meter ELE change (Wh)",
    "通道": "Channel",
    "运行对比": "Comparison of runs",
    "没有报告文件：请给出 --pdf FILE 和/或 --html FILE": "no report file: give --pdf FILE and/or --html FILE",
    "被测设备": "Device under test",
    "充电器/电源": "Charger/source",
    "线缆": "Cable",
    "环境温度": "Ambient temperature",
    # Live outputs: the MQTT broker's connection
    "正在连接 MQTT 代理 %1": "connecting to the MQTT broker %1",
    "已连接 MQTT 代理 %1": "connected to the MQTT broker %1",
    "MQTT 代理 %1 拒绝了连接": "the MQTT broker %1 refused the connection",
    "MQTT 代理 %1 拒绝了用户名或密码": "the MQTT broker %1 refused the user name or password",
    "无法连接到 MQTT 代理 %1": "cannot reach the MQTT broker %1",
    "与 MQTT 代理 %1 的 TLS 握手失败": "the TLS handshake with the MQTT broker %1 failed",
    # The window's live outputs dialog
    "实时输出": "Live outputs",
    "MQTT 代理": "MQTT broker",
    "代理地址": "Broker",
    "用户名": "User",
    "密码": "Password",
    "CA 文件 (mqtts)": "CA file (mqtts)",
    "主题前缀": "Topic prefix",
    "ombrel/<序列号>": "ombrel/<serial>",
    "Home Assistant 自动发现": "Home Assistant discovery",
    "状态": "Status",
    "Prometheus 指标": "Prometheus metrics",
    "监听 [地址:]端口": "Listen on [ADDR:]PORT",
    "InfluxDB": "InfluxDB",
    "服务器地址": "Server",
    "数据库": "Database",
    "密码或令牌": "Password or token",
    "清空地址即关闭该输出。密码保存在只有您能读取的单独文件中。":
        "An empty address turns that output off. Passwords are kept in a file of their own that only you can read.",
    "应用": "Apply",
    "取消": "Cancel",
    "未启用": "off",
    "MQTT 代理 %1：等待运行开始": "MQTT broker %1: waiting for a run",
    "正在监听 %1": "listening on %1",
    "无法监听 %1：%2": "cannot listen on %1: %2",
    "InfluxDB %1：%2": "InfluxDB %1: %2",
    "正在写入 InfluxDB %1": "writing to InfluxDB %1",
    "InfluxDB %1：等待记录": "InfluxDB %1: waiting for records",
    "无法删除密码文件 %1": "Cannot remove the password file %1",
    "无法保存密码文件 %1：%2": "Cannot save the password file %1: %2",
    "无法读取 CA 文件 %1：%2": "Cannot read the CA file %1: %2",
    "指标监听地址“%1”无效：%2": "The metrics address '%1' is not valid: %2",
    "只有一个输出能写到标准输出（-）": "only one of --csv, --jsonl and --influx can write to standard output (-)",
    # What an address given for an output is not
    "“%1”不是 MQTT 代理地址：应为 mqtt://主机[:端口] 或 mqtts://主机[:端口]":
        "'%1' is not a broker address: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]",
    "“%1”不是 MQTT 代理地址：端口应为 1 到 65535 的数字":
        "'%1' is not a broker address: the port must be a number from 1 to 65535",
    "“%1”中没有主机名": "'%1' names no host",
    "“%1”含有用户名或密码：请分别给出用户名和密码":
        "'%1' holds a user or password: give the user name and the password on their own",
    "“%1”含有路径：主题由主题前缀决定": "'%1' has a path: the topics are set by the topic prefix",
    "“%1”不是 http:// 或 https:// 地址": "'%1' is not an http:// or https:// URL",
    "地址中不能含有密码：请单独给出密码": "the URL must not hold a password: give the password on its own",
    "“%1”含有查询或片段：请给出服务器的地址": "'%1' has a query or fragment: give the server's URL",
    "IPv6 地址应放在方括号中：[地址]:端口": "an IPv6 address goes in brackets: [ADDR]:PORT",
    "“%1”不是 IP 地址": "'%1' is not an IP address",
    "“%1”不是端口号（0 到 65535）": "'%1' is not a port number (0 to 65535)",
    "请填写 InfluxDB 的数据库名称": "Give the InfluxDB database to write to",
    # Times and intervals outside a run
    "--from %1 在 --to %2 之后": "--from %1 is after --to %2",
    "--%1 %2 不在运行 %3 之内（%4）": "--%1 %2 is outside run %3 (%4)",
    "所给区间不在运行 %1 之内（%2）": "the interval is outside run %1 (%2)",
    "正在写入 InfluxDB %1；服务器拒收了 %2 个数据点（%3）": "writing to InfluxDB %1; the server refused %2 points (%3)",
    "运行记录数据库已赶上：至今的每条记录都已保存。": "The run journal has caught up: every record so far is kept.",
    # A stored run on the chart
    "返回实时": "Back to live",
    "图表显示已保存的运行 %1，开始于 %2": "The chart shows stored run %1, started %2",
    "图表显示已保存的运行 %1“%2”，开始于 %3": "The chart shows stored run %1 \u201c%2\u201d, started %3",
    # Page six: the run under way and the next one
    "当前运行不是从本页开始的：它不按任何条件停止。": "The run under way was not started here: it stops on none of these conditions.",
    "当前运行没有停止条件。": "The run under way has no stop condition.",
    "当前运行满足以下任一条件时停止：%1": "The run under way stops on any of: %1",
    "；": "; ",
    "“开始记录”将结束当前运行（已运行 %1，%2 条记录，已保存在历史记录中），清空图表并开始新的运行。":
        "\u201cStart run\u201d ends the run under way (%1, %2 records, kept in the run history), clears the chart and starts a new run.",
    "名称：": "Name:",
    # Reports a lab can hand over
    "%1 %2 · 运行 %3 · 报告生成于 %4": "%1 %2 · run %3 · report of %4",
    "%1 %2 · 运行对比 %3 · 报告生成于 %4": "%1 %2 · comparison of runs %3 · report of %4",
    "第 %1 页，共 %2 页": "page %1 of %2",
    "停止条件": "Stop condition",
    "无（未由条件结束）": "none (not ended by a condition)",
    "记录频率": "Recording rate",
    "%1 条/秒": "%1 records/s",
    "自首条记录起的时间 (时:分:秒)": "Time since the first record (h:mm:ss)",
    "自零点起的时间 (时:分:秒)": "Time since zero (h:mm:ss)",
    "时间零点": "Zero of time",
    "各运行的首条记录": "each run's first record",
    "各运行的首个“%1”标记（没有该标记的运行为其首条记录）": "each run's first mark \u201c%1\u201d (a run without one: its first record)",
    "A–B %1 – %2": "A–B %1 – %2",
    "平均 VBUS": "Mean VBUS",
    "平均 IBUS": "Mean IBUS",
    "平均 POWER": "Mean POWER",
}

# English of a text in one context, where it differs from ENGLISH.
ENGLISH_IN_CONTEXT = {
    # The report's heading over the list of a run's marks.
    ("RunReport", "标记"): "Marks",
}

# Source texts that stay untranslated on purpose (shown as they are).
UNTRANSLATED = {"Custom Axis"}


def main():
    path = pathlib.Path(__file__).resolve().parent.parent / "resources/Language/lib_en.ts"
    text = path.read_text(encoding="utf-8")
    missing = []

    def fill_context(context_match):
        block = context_match.group(0)
        name = html.unescape(re.search(r"<name>(.*?)</name>", block, flags=re.S).group(1))

        def fill(match):
            source = html.unescape(match.group(1))
            if source in UNTRANSLATED:
                return match.group(0)
            english = ENGLISH_IN_CONTEXT.get((name, source), ENGLISH.get(source))
            if english is None:
                missing.append(f"{name}: {source}")
                return match.group(0)
            return (f"<source>{match.group(1)}</source>\n        "
                    f"<translation>{html.escape(english, quote=False)}</translation>")

        return re.sub(r"<source>(.*?)</source>\s*<translation[^>]*>.*?</translation>", fill, block, flags=re.S)

    text = re.sub(r"<context>.*?</context>", fill_context, text, flags=re.S)
    path.write_text(text, encoding="utf-8")
    for source in missing:
        print(f"no English for: {source}", file=sys.stderr)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())

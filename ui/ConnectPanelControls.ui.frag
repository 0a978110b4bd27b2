<!-- Connection panel controls, shared by both programs' panel resource files.
     Rows: interface (y 10), serial port or server (y 42), device path or TCP
     port (y 74); y 106..130 is left free for a program's own field; status,
     cause, trace switch and buttons below, down to y 370. -->
      <widget class="QLabel" name="LabelProtocol">
        <property name="geometry">
          <rect>
            <x>10</x>
            <y>12</y>
            <width>88</width>
            <height>20</height>
          </rect>
        </property>
        <property name="text">
          <string>Interface</string>
        </property>
      </widget>
      <widget class="QComboBox" name="EditCommunicationProtocol">
        <property name="geometry">
          <rect>
            <x>100</x>
            <y>10</y>
            <width>150</width>
            <height>24</height>
          </rect>
        </property>
        <property name="itemValues" stdset="0">
          <string>0,1</string>
        </property>
        <property name="callback" stdset="0">
          <string>CBF_EditCommunicationProtocol</string>
        </property>
        <item>
          <property name="text">
            <string>RS-232</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>TCP/IP</string>
          </property>
        </item>
      </widget>
      <widget class="QLabel" name="LabelComPort">
        <property name="geometry">
          <rect>
            <x>10</x>
            <y>44</y>
            <width>88</width>
            <height>20</height>
          </rect>
        </property>
        <property name="text">
          <string>Serial port</string>
        </property>
      </widget>
      <widget class="QComboBox" name="EditSelectComPort">
        <property name="geometry">
          <rect>
            <x>100</x>
            <y>42</y>
            <width>150</width>
            <height>24</height>
          </rect>
        </property>
        <property name="itemValues" stdset="0">
          <string>1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48</string>
        </property>
        <property name="maxVisibleItems">
          <number>16</number>
        </property>
        <property name="callback" stdset="0">
          <string>CBF_EditSelectComPort</string>
        </property>
        <item>
          <property name="text">
            <string>COM1   /dev/ttyS0</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM2   /dev/ttyS1</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM3   /dev/ttyS2</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM4   /dev/ttyS3</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM5   /dev/ttyS4</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM6   /dev/ttyS5</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM7   /dev/ttyS6</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM8   /dev/ttyS7</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM9   /dev/ttyS8</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM10   /dev/ttyS9</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM11   /dev/ttyS10</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM12   /dev/ttyS11</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM13   /dev/ttyS12</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM14   /dev/ttyS13</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM15   /dev/ttyS14</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM16   /dev/ttyS15</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM17   /dev/ttyUSB0</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM18   /dev/ttyUSB1</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM19   /dev/ttyUSB2</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM20   /dev/ttyUSB3</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM21   /dev/ttyUSB4</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM22   /dev/ttyUSB5</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM23   /dev/ttyUSB6</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM24   /dev/ttyUSB7</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM25   /dev/ttyUSB8</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM26   /dev/ttyUSB9</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM27   /dev/ttyUSB10</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM28   /dev/ttyUSB11</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM29   /dev/ttyUSB12</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM30   /dev/ttyUSB13</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM31   /dev/ttyUSB14</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM32   /dev/ttyUSB15</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM33   /dev/ttyACM0</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM34   /dev/ttyACM1</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM35   /dev/ttyACM2</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM36   /dev/ttyACM3</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM37   /dev/ttyACM4</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM38   /dev/ttyACM5</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM39   /dev/ttyACM6</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM40   /dev/ttyACM7</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM41   /dev/ttyACM8</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM42   /dev/ttyACM9</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM43   /dev/ttyACM10</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM44   /dev/ttyACM11</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM45   /dev/ttyACM12</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM46   /dev/ttyACM13</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM47   /dev/ttyACM14</string>
          </property>
        </item>
        <item>
          <property name="text">
            <string>COM48   /dev/ttyACM15</string>
          </property>
        </item>
      </widget>
      <widget class="QLabel" name="LabelComDevice">
        <property name="geometry">
          <rect>
            <x>10</x>
            <y>76</y>
            <width>88</width>
            <height>20</height>
          </rect>
        </property>
        <property name="text">
          <string>Device</string>
        </property>
      </widget>
      <widget class="QLineEdit" name="StringComDevice">
        <property name="geometry">
          <rect>
            <x>100</x>
            <y>74</y>
            <width>150</width>
            <height>24</height>
          </rect>
        </property>
        <property name="maxLength">
          <number>255</number>
        </property>
        <property name="placeholderText">
          <string>device path</string>
        </property>
        <property name="callback" stdset="0">
          <string>CBF_StringComDevice</string>
        </property>
      </widget>
      <widget class="QLabel" name="LabelIpAdress">
        <property name="geometry">
          <rect>
            <x>10</x>
            <y>44</y>
            <width>88</width>
            <height>20</height>
          </rect>
        </property>
        <property name="text">
          <string>Server</string>
        </property>
      </widget>
      <widget class="QLineEdit" name="StringIpAdress">
        <property name="geometry">
          <rect>
            <x>100</x>
            <y>42</y>
            <width>126</width>
            <height>24</height>
          </rect>
        </property>
        <property name="maxLength">
          <number>255</number>
        </property>
        <property name="placeholderText">
          <string>name or IP address</string>
        </property>
        <property name="callback" stdset="0">
          <string>CBF_StringIpAdress</string>
        </property>
      </widget>
      <widget class="QLabel" name="LabelPortNumber">
        <property name="geometry">
          <rect>
            <x>10</x>
            <y>76</y>
            <width>88</width>
            <height>20</height>
          </rect>
        </property>
        <property name="text">
          <string>TCP port</string>
        </property>
      </widget>
      <widget class="QLineEdit" name="StringPortNumber">
        <property name="geometry">
          <rect>
            <x>100</x>
            <y>74</y>
            <width>70</width>
            <height>24</height>
          </rect>
        </property>
        <property name="maxLength">
          <number>31</number>
        </property>
        <property name="callback" stdset="0">
          <string>CBF_StringPortNumber</string>
        </property>
      </widget>
      <widget class="QLabel" name="DispConnectStatus">
        <property name="geometry">
          <rect>
            <x>10</x>
            <y>138</y>
            <width>240</width>
            <height>28</height>
          </rect>
        </property>
        <property name="frameShape">
          <enum>QFrame::StyledPanel</enum>
        </property>
        <property name="frameShadow">
          <enum>QFrame::Sunken</enum>
        </property>
        <property name="textFormat">
          <enum>Qt::PlainText</enum>
        </property>
        <property name="wordWrap">
          <bool>true</bool>
        </property>
        <property name="alignment">
          <set>Qt::AlignLeading|Qt::AlignLeft|Qt::AlignVCenter</set>
        </property>
      </widget>
      <widget class="QLabel" name="DispConnectCause">
        <property name="geometry">
          <rect>
            <x>10</x>
            <y>170</y>
            <width>240</width>
            <height>100</height>
          </rect>
        </property>
        <property name="font">
          <font>
            <pointsize>8</pointsize>
          </font>
        </property>
        <property name="textFormat">
          <enum>Qt::PlainText</enum>
        </property>
        <property name="wordWrap">
          <bool>true</bool>
        </property>
        <property name="alignment">
          <set>Qt::AlignLeading|Qt::AlignLeft|Qt::AlignTop</set>
        </property>
      </widget>
      <widget class="QCheckBox" name="CheckLinkTrace">
        <property name="geometry">
          <rect>
            <x>10</x>
            <y>276</y>
            <width>240</width>
            <height>22</height>
          </rect>
        </property>
        <property name="text">
          <string>Trace the link to a file</string>
        </property>
        <property name="callback" stdset="0">
          <string>CBF_CheckLinkTrace</string>
        </property>
      </widget>
      <widget class="QPushButton" name="ButtonTryToConnect">
        <property name="geometry">
          <rect>
            <x>10</x>
            <y>306</y>
            <width>240</width>
            <height>28</height>
          </rect>
        </property>
        <property name="text">
          <string>Try to connect</string>
        </property>
        <property name="callback" stdset="0">
          <string>CBF_ButtonTryToConnect</string>
        </property>
      </widget>
      <widget class="QPushButton" name="ButtonAccept">
        <property name="geometry">
          <rect>
            <x>10</x>
            <y>342</y>
            <width>116</width>
            <height>28</height>
          </rect>
        </property>
        <property name="enabled">
          <bool>false</bool>
        </property>
        <property name="text">
          <string>Accept</string>
        </property>
        <property name="callback" stdset="0">
          <string>CBF_ButtonAccept</string>
        </property>
      </widget>
      <widget class="QPushButton" name="ButtonDiscard">
        <property name="geometry">
          <rect>
            <x>134</x>
            <y>342</y>
            <width>116</width>
            <height>28</height>
          </rect>
        </property>
        <property name="text">
          <string>Discard</string>
        </property>
        <property name="callback" stdset="0">
          <string>CBF_ButtonDiscard</string>
        </property>
      </widget>

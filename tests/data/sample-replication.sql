USE [Qtv]
GO
/****** Object:  StoredProcedure [dbo].[sp_MSins_dboorders]    Script Date: 2024-03-18 9:12:44 AM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
create procedure [dbo].[sp_MSins_dboorders]
    @c1 int,
    @c2 int,
    @c3 datetime
as
begin
	insert into [dbo].[orders] (
		[order_id],
		[customer_id],
		[placed]
	) values (
		@c1,
		@c2,
		@c3	)
end
GO
/****** Object:  StoredProcedure [dbo].[sp_MSupd_dboorders]    Script Date: 2024-03-18 9:12:44 AM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
create procedure [dbo].[sp_MSupd_dboorders]
		@c1 int = NULL,
		@c2 int = NULL,
		@c3 datetime = NULL,
		@pkc1 int = NULL,
		@bitmap binary(1)
as
begin
if (substring(@bitmap,1,1) & 1 = 1)
begin
update [dbo].[orders] set
		[order_id] = case substring(@bitmap,1,1) & 1 when 1 then @c1 else [order_id] end,
		[customer_id] = case substring(@bitmap,1,1) & 2 when 2 then @c2 else [customer_id] end,
		[placed] = case substring(@bitmap,1,1) & 4 when 4 then @c3 else [placed] end
	where [order_id] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
end
else
begin
update [dbo].[orders] set
		[customer_id] = case substring(@bitmap,1,1) & 2 when 2 then @c2 else [customer_id] end,
		[placed] = case substring(@bitmap,1,1) & 4 when 4 then @c3 else [placed] end
	where [order_id] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
end
end
GO
/****** Object:  StoredProcedure [dbo].[sp_MSdel_dboorders]    Script Date: 2024-03-18 9:12:44 AM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
create procedure [dbo].[sp_MSdel_dboorders]
		@pkc1 int
as
begin
	delete [dbo].[orders]
	where [order_id] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
end
GO
/****** Object:  StoredProcedure [dbo].[sp_MSins_dbocustomers]    Script Date: 2024-03-18 9:12:44 AM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
create procedure [dbo].[sp_MSins_dbocustomers]
    @c1 int,
    @c2 nvarchar(100),
    @c3 char(2)
as
begin
	insert into [dbo].[customers] (
		[customer_id],
		[name],
		[region_code]
	) values (
		@c1,
		@c2,
		@c3	)
end
GO
/****** Object:  StoredProcedure [dbo].[sp_MSupd_dbocustomers]    Script Date: 2024-03-18 9:12:44 AM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
create procedure [dbo].[sp_MSupd_dbocustomers]
		@c1 int = NULL,
		@c2 nvarchar(100) = NULL,
		@c3 char(2) = NULL,
		@pkc1 int = NULL,
		@bitmap binary(1)
as
begin
if (substring(@bitmap,1,1) & 1 = 1)
begin
update [dbo].[customers] set
		[customer_id] = case substring(@bitmap,1,1) & 1 when 1 then @c1 else [customer_id] end,
		[name] = case substring(@bitmap,1,1) & 2 when 2 then @c2 else [name] end,
		[region_code] = case substring(@bitmap,1,1) & 4 when 4 then @c3 else [region_code] end
	where [customer_id] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
end
else
begin
update [dbo].[customers] set
		[name] = case substring(@bitmap,1,1) & 2 when 2 then @c2 else [name] end,
		[region_code] = case substring(@bitmap,1,1) & 4 when 4 then @c3 else [region_code] end
	where [customer_id] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
end
end
GO
/****** Object:  StoredProcedure [dbo].[sp_MSdel_dbocustomers]    Script Date: 2024-03-18 9:12:44 AM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
create procedure [dbo].[sp_MSdel_dbocustomers]
		@pkc1 int
as
begin
	delete [dbo].[customers]
	where [customer_id] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
end
GO
